// The update program's general error class: every failure the program raises
// derives from it and carries nothing but its message text.
#pragma once

#include <QString>

#include <exception>
#include <string>

namespace ckupdate {

class EProgramError : public std::exception {
public:
    explicit EProgramError(QString message) : message_(std::move(message)), utf8_(message_.toStdString()) {}
    const QString& Message() const { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    std::string utf8_;
};

// Declares an error class of the program: derived from the general class, message only.
#define CKUPDATE_ERROR_CLASS(Name)                                             \
    class Name : public ::ckupdate::EProgramError {                            \
    public:                                                                    \
        using ::ckupdate::EProgramError::EProgramError;                        \
    }

}  // namespace ckupdate
