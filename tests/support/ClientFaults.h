#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>

// The test client library at FAULTY_FBCLIENT_LIBRARY, loaded for as long as
// the object lives, with one of its faults armed meanwhile through the
// switch it exports as `switchName`.
class ArmedClientFault {
public:
    ArmedClientFault(const std::string& library, const char* switchName)
        : handle_(dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL))
    {
        if (handle_ == nullptr)
            throw std::runtime_error("cannot load " + library);
        set_ = Entry<void (*)(bool)>(switchName);
        set_(true);
    }
    ~ArmedClientFault()
    {
        set_(false);
        dlclose(handle_);
    }
    ArmedClientFault(const ArmedClientFault&) = delete;
    ArmedClientFault& operator=(const ArmedClientFault&) = delete;

protected:
    template <typename Function>
    Function Entry(const char* name) const
    {
        void* address = dlsym(handle_, name);
        if (address == nullptr)
            throw std::runtime_error(std::string("no ") + name + " in the test client library");
        return reinterpret_cast<Function>(address);
    }

private:
    void* handle_;
    void (*set_)(bool) = nullptr;
};

// A detach that detaches and then reports a failure.
class DetachFault : public ArmedClientFault {
public:
    explicit DetachFault(const std::string& library) : ArmedClientFault(library, "quenor_fail_detach") {}
};

// A cancel refused as the local protocol to a server refuses it, and how
// often it was asked for since the fault was armed.
class CancelRefused : public ArmedClientFault {
public:
    explicit CancelRefused(const std::string& library)
        : ArmedClientFault(library, "quenor_refuse_cancel"), calls_(Entry<int (*)()>("quenor_cancel_calls"))
    {
    }

    int Calls() const { return calls_(); }

private:
    int (*calls_)();
};
