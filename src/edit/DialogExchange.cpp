#include "edit/DialogExchange.h"

#include <QLineEdit>

namespace thumper {
namespace {

void Fail(UiServices& ui, QLineEdit* edit, const std::string& text) {
  ui.MessageBox(text, kAppName, MsgButtons::Ok, MsgIcon::Warning);
  edit->setFocus();
  edit->selectAll();
}

}  // namespace

std::string IntegerRangeMessage(int32_t min, int32_t max) {
  return "Please enter an integer between " + std::to_string(min) + " and " + std::to_string(max) +
         ".";
}

std::string MaxCharsMessage(int max) {
  return "Please enter no more than " + std::to_string(max) + " characters.";
}

std::optional<int64_t> ParseDialogInteger(const QString& text) {
  const QString t = text.trimmed();
  int i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';
  if (i == t.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < u'0' || t[i] > u'9') return std::nullopt;
    // Far outside any range a dialog asks for; saturating keeps it so.
    if (value < (int64_t{1} << 40)) value = value * 10 + (t[i].unicode() - u'0');
  }
  return negative ? -value : value;
}

std::optional<int32_t> ExchangeInteger(UiServices& ui, QLineEdit* edit, int32_t min, int32_t max) {
  const std::optional<int64_t> value = ParseDialogInteger(edit->text());
  if (!value) {
    Fail(ui, edit, kEnterInteger);
    return std::nullopt;
  }
  if (*value < min || *value > max) {
    Fail(ui, edit, IntegerRangeMessage(min, max));
    return std::nullopt;
  }
  return static_cast<int32_t>(*value);
}

std::optional<QString> ExchangeText(UiServices& ui, QLineEdit* edit, int max) {
  const QString text = edit->text();
  if (text.size() > max) {
    Fail(ui, edit, MaxCharsMessage(max));
    return std::nullopt;
  }
  return text;
}

}  // namespace thumper
