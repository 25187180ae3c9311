#pragma once
// The checks a dialog runs on OK, field by field in member order: the first
// field that fails shows the framework's message, takes the focus with its text
// selected, and stops the exchange so the dialog stays open.

#include <QString>
#include <cstdint>
#include <optional>

#include "drumset/UiServices.h"

class QLineEdit;

namespace thumper {

inline constexpr const char* kEnterInteger = "Please enter an integer.";

// "Please enter an integer between %1 and %2." filled in.
std::string IntegerRangeMessage(int32_t min, int32_t max);
// "Please enter no more than %1 characters." filled in.
std::string MaxCharsMessage(int max);

// A whole number with an optional sign and blanks around it, or nothing.
std::optional<int64_t> ParseDialogInteger(const QString& text);

// The edit's integer when it lies in [min, max]; otherwise the message and nothing.
std::optional<int32_t> ExchangeInteger(UiServices& ui, QLineEdit* edit, int32_t min, int32_t max);

// The edit's text when it has at most max characters; otherwise the message and nothing.
std::optional<QString> ExchangeText(UiServices& ui, QLineEdit* edit, int max);

}  // namespace thumper
