#pragma once

#include <exception>
#include <string>

// What the error box says for `error`, in the core's 8-bit text: the
// innermost non-empty message of the error and whatever it wraps, with a full
// stop added when its last character sorts after '.'. Both windows show it.
std::string ErrorMessage(const std::exception_ptr& error);
