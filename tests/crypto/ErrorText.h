#pragma once

#include "Exception.h"
#include "crypto/ElAES.h"

#include <QString>

#include <functional>

// Runs f and names what it raised as "Class: message" (empty when nothing),
// so a test compares class and text in one go.
inline QString errorText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        const char* name = dynamic_cast<const EAESError*>(&e) ? "EAESError"
            : dynamic_cast<const EReadError*>(&e)             ? "EReadError"
            : dynamic_cast<const EWriteError*>(&e)            ? "EWriteError"
            : dynamic_cast<const EFOpenError*>(&e)            ? "EFOpenError"
            : dynamic_cast<const EFCreateError*>(&e)          ? "EFCreateError"
            : dynamic_cast<const EStreamError*>(&e)           ? "EStreamError"
            : dynamic_cast<const EConvertError*>(&e)          ? "EConvertError"
                                                              : "Exception";
        return QString::fromLatin1(name) + QStringLiteral(": ") + QString::fromStdString(e.message());
    }
    return {};
}
