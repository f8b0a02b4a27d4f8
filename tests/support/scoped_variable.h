// An environment variable a test changes, put back as it was (unset
// included) when the test's fixture goes.
#pragma once

#include <cstdlib>
#include <string>

class ScopedVariable {
  public:
    explicit ScopedVariable(const char* name) : name_(name)
    {
        const char* value = std::getenv(name);
        wasSet_ = value != nullptr;
        saved_ = wasSet_ ? value : "";
    }
    ~ScopedVariable()
    {
        if (wasSet_)
            setenv(name_, saved_.c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

    void Set(const std::string& value) { setenv(name_, value.c_str(), 1); }

  private:
    const char* name_;
    bool wasSet_;
    std::string saved_;
};
