#include "ui/ErrorMessage.h"

std::string ErrorMessage(const std::exception_ptr& error)
{
    std::string found;
    std::exception_ptr current = error;
    while (current) {
        std::exception_ptr next;
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& e) {
            const std::string message = e.what();
            if (!message.empty())
                found = message;
            if (const auto* nested = dynamic_cast<const std::nested_exception*>(&e))
                next = nested->nested_ptr();
        } catch (const std::nested_exception& nested) {
            next = nested.nested_ptr();
        } catch (...) {
            // Not one of ours: it has no message of its own.
        }
        current = next;
    }
    // Bytes of a character beyond ASCII all sort after '.', as the character does.
    if (!found.empty() && static_cast<unsigned char>(found.back()) > '.')
        found += '.';
    return found;
}
