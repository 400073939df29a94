#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>

// Arms the failing detach of the test client library at
// FAULTY_FBCLIENT_LIBRARY for as long as the object lives.
class DetachFault {
public:
    explicit DetachFault(const std::string& library) : handle_(dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL))
    {
        if (handle_ == nullptr)
            throw std::runtime_error("cannot load " + library);
        set_ = reinterpret_cast<void (*)(bool)>(dlsym(handle_, "quenor_fail_detach"));
        if (set_ == nullptr)
            throw std::runtime_error("no quenor_fail_detach in " + library);
        set_(true);
    }
    ~DetachFault()
    {
        set_(false);
        dlclose(handle_);
    }
    DetachFault(const DetachFault&) = delete;
    DetachFault& operator=(const DetachFault&) = delete;

private:
    void* handle_;
    void (*set_)(bool) = nullptr;
};

// Arms the refused cancel of the same library for as long as the object
// lives, and tells how often it was asked to cancel since.
class CancelRefused {
public:
    explicit CancelRefused(const std::string& library) : handle_(dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL))
    {
        if (handle_ == nullptr)
            throw std::runtime_error("cannot load " + library);
        set_ = reinterpret_cast<void (*)(bool)>(dlsym(handle_, "quenor_refuse_cancel"));
        calls_ = reinterpret_cast<int (*)()>(dlsym(handle_, "quenor_cancel_calls"));
        if (set_ == nullptr || calls_ == nullptr)
            throw std::runtime_error("no quenor_refuse_cancel in " + library);
        set_(true);
    }
    ~CancelRefused()
    {
        set_(false);
        dlclose(handle_);
    }
    CancelRefused(const CancelRefused&) = delete;
    CancelRefused& operator=(const CancelRefused&) = delete;

    int Calls() const { return calls_(); }

private:
    void* handle_;
    void (*set_)(bool) = nullptr;
    int (*calls_)() = nullptr;
};
