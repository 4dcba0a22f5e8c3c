// Environment changes for one test, undone when the object goes.
#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

class TEnvOverride {
public:
    ~TEnvOverride()
    {
        for (const auto& [name, value] : Saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    void Set(const std::string& name, const std::string& value)
    {
        Save(name);
        setenv(name.c_str(), value.c_str(), 1);
    }
    void Unset(const std::string& name)
    {
        Save(name);
        unsetenv(name.c_str());
    }

private:
    void Save(const std::string& name)
    {
        if (Saved.count(name))
            return;
        const char* value = getenv(name.c_str());
        Saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    std::map<std::string, std::optional<std::string>> Saved;
};
