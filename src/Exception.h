#pragma once

#include <exception>
#include <string>

// The one base class of every error this program raises on purpose. Each
// carries a message text meant for the user; the application-wide handler
// shows it in a message box and the program goes on.
class Exception : public std::exception
{
public:
    explicit Exception(std::string message)
        : m_message(std::move(message))
    {
    }

    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& message() const noexcept { return m_message; }

private:
    std::string m_message;
};

// Stream layer errors.
class EStreamError : public Exception
{
public:
    using Exception::Exception;
};

class EFilerError : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

class EReadError : public EFilerError
{
public:
    using EFilerError::EFilerError;
};

class EWriteError : public EFilerError
{
public:
    using EFilerError::EFilerError;
};

class EFOpenError : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

class EFCreateError : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

// A text that should have held a number did not.
class EConvertError : public Exception
{
public:
    using Exception::Exception;
};
