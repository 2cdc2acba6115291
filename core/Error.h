// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <utility>
#include <variant>
#include <vector>

// How a message weighs for the user.
enum MessageKind : int {
    MESSAGE_ERROR,
    MESSAGE_WARNING,
    MESSAGE_NOTE,
};

// Why a step of the engine did not do what it was asked, or what it has to say: the system's
// error number, the string-table message with its arguments, the step and the path it was at.
// The engine never words it; each front end does, in its own way.
struct CError {
    int error = 0;  // errno; 0 when the user declined or stopped
    // The string-table message; 0 when the user has nothing more to be told (a question answered
    // No, an error asked about already).
    int id = 0;
    std::vector<std::string> args{};
    int step = 0;
    std::string path{};
    MessageKind kind = MESSAGE_ERROR;
};

// The message `id` with `args` (all "%s" in the table).
template <typename... Args>
CError Message(MessageKind kind, int id, Args&&... args) {
    return CError{0, id, {std::string(std::forward<Args>(args))...}, 0, {}, kind};
}

// The same for a failure with the system's error number.
template <typename... Args>
CError Failure(int error, MessageKind kind, int id, Args&&... args) {
    CError failed = Message(kind, id, std::forward<Args>(args)...);
    failed.error = error;
    return failed;
}

// The text of the error in the program's words: its message, or the errno's text.
std::string ErrorText(const CError& error);

// A value, or the error that says why there is none.
template <class T>
struct CResult {
    CResult() = default;
    CResult(T v) : value(std::move(v)) {}
    CResult(CError e) : error(e.error), why(std::move(e)), m_bFailed(true) {}
    explicit operator bool() const { return !m_bFailed; }

    T value{};
    // The errno of `why`, for callers that need no more.
    int error = 0;
    CError why;

private:
    bool m_bFailed = false;
};

// The outcome of a step that makes no value.
using CStatus = CResult<std::monostate>;

// What a step tells the user while it goes on and the yes/no questions it asks, through the
// caller: the wizard shows boxes, the command line writes lines and answers by its options.
class IReport {
public:
    virtual ~IReport() = default;
    virtual void Tell(const CError& message) = 0;
    // True for Yes.
    virtual bool Ask(const CError& question) = 0;
};

// Tells nothing and answers No: for callers that hand in no report.
IReport& SilentReport();
