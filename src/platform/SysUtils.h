#pragma once
// Exceptions of the class library. Every failure inside the program is an
// Exception (or a descendant) carrying a message text; handlers catch them
// and the application's standard handling shows the message.
#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : Message(std::move(message)) {}
    ~Exception() override = default;
    const char *what() const noexcept override { return Message.c_str(); }
    // Class name as the standard handling may show it.
    virtual const char *ClassName() const { return "Exception"; }
    std::string Message;
};

#define MIXDECK_EXCEPTION(Name, Base)                                   \
    class Name : public Base {                                          \
    public:                                                             \
        using Base::Base;                                               \
        const char *ClassName() const override { return #Name; }        \
    }

// A text that is not a number, a date that does not exist, ...
MIXDECK_EXCEPTION(EConvertError, Exception);
// Files that cannot be opened, read or written.
MIXDECK_EXCEPTION(EInOutError, Exception);
MIXDECK_EXCEPTION(EFOpenError, EInOutError);
MIXDECK_EXCEPTION(EFCreateError, EInOutError);
// A write refused because the program folder this process holds no longer
// stands at its path (see fileio::CheckHeldFolder).
MIXDECK_EXCEPTION(EProgramFolderLost, EInOutError);
// Index out of a list's range.
MIXDECK_EXCEPTION(EListError, Exception);
// The silent abort: ends the current operation without a message (the
// standard handling shows nothing for it).
MIXDECK_EXCEPTION(EAbort, Exception);
// INI files that cannot be written.
MIXDECK_EXCEPTION(EIniFileException, Exception);
