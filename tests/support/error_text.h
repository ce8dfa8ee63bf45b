#pragma once
// The message of the error a call raises, so that a test states what it expects in one line.
#include <string>
#include <utility>

#include "store/error.h"

namespace lindavex::testing {

// The text of the lindavex::Error that `call` throws, or "(no error)" when it returns.
template <class Call>
std::string errorText(Call&& call) {
    try {
        std::forward<Call>(call)();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace lindavex::testing
