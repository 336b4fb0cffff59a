#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

// A fresh directory under /tmp, removed with everything in it when the object goes.
class TempDirectory {
public:
    TempDirectory() {
        char pattern[] = "/tmp/xetetra-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made != nullptr ? made : "";
    }
    ~TempDirectory() {
        if (!path_.empty()) {
            const std::string command = "chmod -R u+rwx '" + path_ + "' && rm -rf '" + path_ + "'";
            int result = std::system(command.c_str());
            (void)result;
        }
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    std::string makeDirectory(const std::string& name) const {
        const std::string directory = file(name);
        mkdir(directory.c_str(), 0755);
        return directory;
    }

    std::string write(const std::string& name, const std::string& content) const {
        const std::string target = file(name);
        std::ofstream out(target, std::ios::binary);
        out << content;
        return target;
    }

private:
    std::string path_;
};
