// A scratch directory under /tmp, removed with everything in it when the test ends.
#ifndef ZV_TEMP_DIR_H
#define ZV_TEMP_DIR_H

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testdir {

class TempDir {
public:
    typedef std::vector<unsigned char> Bytes;

    TempDir()
    {
        char tmpl[] = "/tmp/zv_td_XXXXXX";
        char* d = mkdtemp(tmpl);
        if (d != nullptr) {
            dir_ = d;
        }
    }
    ~TempDir()
    {
        if (!dir_.empty()) {
            std::string cmd = "rm -rf '" + dir_ + "'";
            int rc = system(cmd.c_str());
            (void)rc;
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string Path(const std::string& rel) const { return dir_ + "/" + rel; }
    void Write(const std::string& rel, const Bytes& data) const
    {
        std::ofstream f(Path(rel), std::ios::binary);
        f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    void Write(const std::string& rel, const std::string& data) const
    {
        std::ofstream f(Path(rel), std::ios::binary);
        f << data;
    }
    bool Exists(const std::string& rel) const { return access(Path(rel).c_str(), F_OK) == 0; }
    Bytes Read(const std::string& rel) const { return ReadPath(Path(rel)); }
    std::string ReadText(const std::string& rel) const { return ReadTextPath(Path(rel)); }
    static Bytes ReadPath(const std::string& path)
    {
        std::string s = ReadTextPath(path);
        return Bytes(s.begin(), s.end());
    }
    static std::string ReadTextPath(const std::string& path)
    {
        std::ifstream f(path, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    bool ok() const { return !dir_.empty(); }

private:
    std::string dir_;
};

} // namespace testdir

#endif
