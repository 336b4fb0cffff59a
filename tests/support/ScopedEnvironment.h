#pragma once

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

// Environment variables set or unset for the lifetime of the object, restored afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment() {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            if (it->second.first)
                setenv(it->first.c_str(), it->second.second.c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    void set(const std::string& name, const std::string& value) {
        save(name);
        setenv(name.c_str(), value.c_str(), 1);
    }
    void unset(const std::string& name) {
        save(name);
        unsetenv(name.c_str());
    }

    // The calibration search of a test: HOME at `home`, the XDG data directories inside it, no
    // XETETRA_CALIBRATIONS, so that nothing the machine's user keeps is read (the system-wide
    // directory aside, which only a private mount namespace can replace).
    void isolateCalibrations(const std::string& home) {
        set("HOME", home);
        unset("XETETRA_CALIBRATIONS");
        unset("XDG_DATA_HOME");
        set("XDG_DATA_DIRS", home + "/.no-data-dirs");
    }

private:
    void save(const std::string& name) {
        const char* value = std::getenv(name.c_str());
        saved.emplace_back(name, std::make_pair(value != nullptr, value != nullptr ? value : ""));
    }

    std::vector<std::pair<std::string, std::pair<bool, std::string>>> saved;
};
