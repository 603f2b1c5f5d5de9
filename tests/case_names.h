// Stable names for parameterised cases: ctest discovers tests by name, so a name
// must not depend on addresses inside the case.
#ifndef ZV_CASE_NAMES_H
#define ZV_CASE_NAMES_H

#include <gtest/gtest.h>

#include <string>

struct CaseIndexName {
    template <typename T>
    std::string operator()(const ::testing::TestParamInfo<T>& info) const
    {
        return "case" + std::to_string(info.index);
    }
};

#endif
