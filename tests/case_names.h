// Parameterised cases are named by what they hold. gtest prints a case with the PrintTo
// beside its type, or its operator<< (its own printer serves numbers, strings and tuples or
// vectors of them), and CaseName turns that text into the case's name: letters and digits
// stay, every other run becomes one '_', a minus sign before a number is spelt "minus". The
// same text follows "GetParam() = " when a case fails.
//
// ctest discovers tests by name, so the text must not depend on addresses inside the case:
// a case type that gtest could only print as raw bytes or as a pointer does not compile here.
// Give such a type a PrintTo that says what tells its cases apart; two cases that print alike
// stop the test program at start with "Duplicate parameterized test name".
#ifndef ZV_CASE_NAMES_H
#define ZV_CASE_NAMES_H

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "disk_analyser.h"
#include "disk_cmnd.h"

namespace case_names {

template <typename T, typename = void>
struct HasPrintTo : std::false_type {};

// Found the way gtest finds it: by argument-dependent lookup beside the type.
template <typename T>
struct HasPrintTo<T, std::void_t<decltype(PrintTo(std::declval<const T&>(), std::declval<std::ostream*>()))>>
    : std::true_type {};

template <typename T, typename = void>
struct HasStreamOut : std::false_type {};

template <typename T>
struct HasStreamOut<T, std::void_t<decltype(std::declval<std::ostream&>() << std::declval<const T&>())>>
    : std::true_type {};

template <typename T>
struct Describable
    : std::integral_constant<bool, std::is_arithmetic<T>::value ||
                                       // gtest prints a scoped enum as raw bytes unless it has a PrintTo
                                       (std::is_enum<T>::value &&
                                        (std::is_convertible<T, long long>::value || HasPrintTo<T>::value)) ||
                                       std::is_same<T, std::string>::value || std::is_same<T, const char*>::value ||
                                       std::is_same<T, char*>::value ||
                                       (std::is_class<T>::value &&
                                        (HasPrintTo<T>::value || HasStreamOut<T>::value))> {};

template <typename... Ts>
struct Describable<std::tuple<Ts...>> : std::integral_constant<bool, (Describable<Ts>::value && ...)> {};

template <typename A, typename B>
struct Describable<std::pair<A, B>> : std::integral_constant<bool, Describable<A>::value && Describable<B>::value> {};

template <typename E, typename Alloc>
struct Describable<std::vector<E, Alloc>> : Describable<E> {};

inline bool IsAlnum(char ch) { return std::isalnum(static_cast<unsigned char>(ch)) != 0; }
inline bool IsDigit(char ch) { return std::isdigit(static_cast<unsigned char>(ch)) != 0; }

// The printed text as a test name.
inline std::string NameOf(const std::string& text)
{
    std::string name;
    bool gap = false;
    for (size_t i = 0; i < text.size(); i++) {
        const char ch = text[i];
        const bool minus =
            ch == '-' && i + 1 < text.size() && IsDigit(text[i + 1]) && (i == 0 || !IsAlnum(text[i - 1]));
        if (!IsAlnum(ch) && !minus) {
            gap = true;
            continue;
        }
        if (gap && !name.empty()) {
            name += '_';
        }
        gap = false;
        if (minus) {
            name += "minus";
        } else {
            name += ch;
        }
    }
    return name.empty() ? "empty" : name;
}

} // namespace case_names

// Text whose blanks and punctuation tell cases apart: runs of letters and digits stay,
// every other character is named ("-h\n" is "dash h newline").
inline std::string SpeltOut(const std::string& text)
{
    static const std::pair<char, const char*> names[] = {
        {' ', "blank"}, {'\n', "newline"}, {'\t', "tab"}, {'\r', "return"}, {'-', "dash"}, {'.', "dot"},
        {'/', "slash"}, {'_', "underscore"}, {',', "comma"}, {':', "colon"}, {'+', "plus"}, {'=', "equals"},
    };
    if (text.empty()) {
        return "nothing";
    }
    std::string out;
    bool in_word = false;
    for (char ch : text) {
        if (case_names::IsAlnum(ch)) {
            if (!in_word && !out.empty()) {
                out += ' ';
            }
            out += ch;
            in_word = true;
            continue;
        }
        if (!out.empty()) {
            out += ' ';
        }
        const char* name = nullptr;
        for (const auto& n : names) {
            if (n.first == ch) {
                name = n.second;
            }
        }
        if (name != nullptr) {
            out += name;
        } else {
            static const char digits[] = "0123456789ABCDEF";
            const unsigned char byte = static_cast<unsigned char>(ch);
            out += std::string("x") + digits[byte >> 4] + digits[byte & 15];
        }
        in_word = false;
    }
    return out;
}

// Bytes as cases print them: two hexadecimal digits each, at most the first `most` of them.
inline std::string BytesText(const std::vector<std::uint8_t>& bytes, size_t most = 32)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < bytes.size() && i < most; i++) {
        text += text.empty() ? "" : " ";
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return bytes.size() > most ? text + " ..." : text;
}

// A command line as cases print it: the arguments with one blank between them, a very long
// one by its start and its length.
inline std::string ArgsText(const std::vector<std::string>& args)
{
    std::string text;
    for (const std::string& arg : args) {
        text += text.empty() ? "" : " ";
        text += arg.size() <= 64 ? arg : arg.substr(0, 8) + "... (" + std::to_string(arg.size()) + " characters)";
    }
    return text;
}

// A command type as cases print it: its number and display name, or the length query of one.
// Test names are made while the program loads, before any start-up check, so a catalogue
// without the type's row gives a name without it instead of a crash.
inline std::string CmndTypeText(int type)
{
    if (type >= CMND_LEN_QUERY && type - CMND_LEN_QUERY < TYPE_BUTT) {
        return "length of " + CmndTypeText(type - CMND_LEN_QUERY);
    }
    if (type == TYPE_BUTT) {
        return "no type (TYPE_BUTT)";
    }
    if (type < 0 || type > TYPE_BUTT) {
        return "outside the catalogue (" + std::to_string(type) + ")";
    }
    if (!HasCatalogueRow(static_cast<u32>(type))) {
        return std::to_string(type) + " without its catalogue row";
    }
    return std::to_string(type) + " " + disk_spt_list[type].name;
}

// A case that is one command type, printed and named by CmndTypeText; it reads as the int.
struct CmndTypeCase {
    int type;
    operator int() const { return type; }
};

inline void PrintTo(const CmndTypeCase& c, std::ostream* os) { *os << CmndTypeText(c.type); }

template <typename... Types>
std::vector<CmndTypeCase> TypeCases(Types... types)
{
    return {CmndTypeCase{static_cast<int>(types)}...};
}

template <typename Type, size_t N>
std::vector<CmndTypeCase> TypeCases(const Type (&types)[N])
{
    std::vector<CmndTypeCase> cases;
    for (Type type : types) {
        cases.push_back(CmndTypeCase{static_cast<int>(type)});
    }
    return cases;
}

// A link type as cases print it: its name, or the number of one the program does not know.
inline std::string LinkText(u32 link)
{
    const std::string name = LinkTypeName(link);
    return name != "Unknown" ? name + " link" : "unknown link " + std::to_string(link);
}

// A parse callback as cases print it: the first command type that the parse map gives it.
inline std::string ParserText(ParseFun parse)
{
    for (const ParseMapRow& row : parse_map_rows) {
        if (row.fun != nullptr && row.fun == parse) {
            return CmndTypeText(static_cast<int>(row.type));
        }
    }
    return "a callback outside the parse map";
}

struct CaseName {
    template <typename T>
    std::string operator()(const ::testing::TestParamInfo<T>& info) const
    {
        static_assert(case_names::Describable<T>::value,
                      "the case type needs a PrintTo(const T&, std::ostream*) beside it that says what it holds");
        return case_names::NameOf(::testing::PrintToString(info.param));
    }
};

#endif
