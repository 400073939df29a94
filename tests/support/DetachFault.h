#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>

// Arms or disarms the failing detach of the test client library at
// DETACH_FAULT_FBCLIENT_LIBRARY for as long as the object lives.
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
