#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace varrow::test {

// The message of the std::runtime_error that f throws, or "no error" when it throws none.
inline std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

} // namespace varrow::test
