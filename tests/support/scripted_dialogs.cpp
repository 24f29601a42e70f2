#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>

namespace duz::test {

ScriptedDialogs::ScriptedDialogs() : previous_(SetDialogs(this)) {}
ScriptedDialogs::~ScriptedDialogs() { SetDialogs(previous_); }

MsgResult ScriptedDialogs::MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                                      MsgIcon icon) {
  prompts_.push_back({"message", text, caption, buttons, icon});
  if (messages_.empty()) {
    if (buttons == MsgButtons::OK) return MsgResult::OK;
    ADD_FAILURE() << "unexpected message box: " << text;
    return buttons == MsgButtons::YesNo ? MsgResult::No
           : buttons == MsgButtons::AbortRetryIgnore ? MsgResult::Abort
                                                      : MsgResult::Cancel;
  }
  MsgResult r = messages_.front();
  messages_.pop_front();
  return r;
}

bool ScriptedDialogs::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  prompts_.push_back({"input", prompt, caption, MsgButtons::OKCancel, MsgIcon::None});
  if (inputs_.empty()) {
    ADD_FAILURE() << "unexpected input box: " << caption;
    return false;
  }
  Text t = inputs_.front();
  inputs_.pop_front();
  if (t.ok) value = t.value;
  return t.ok;
}

bool ScriptedDialogs::PasswordDialog(const std::string& caption, const std::string& databaseName,
                                     std::string& password) {
  prompts_.push_back({"password", databaseName, caption, MsgButtons::OKCancel, MsgIcon::None});
  if (passwords_.empty()) {
    ADD_FAILURE() << "unexpected password dialog: " << caption;
    return false;
  }
  Text t = passwords_.front();
  passwords_.pop_front();
  if (t.ok) password = t.value;
  return t.ok;
}

void ScriptedDialogs::ProgressBegin(const std::string& caption, const std::string& message) {
  prompts_.push_back({"progress", message, caption, MsgButtons::OK, MsgIcon::None});
  progressUpdates_ = 0;
}

bool ScriptedDialogs::ProgressUpdate(int, const std::string&) {
  ++progressUpdates_;
  return abortAfter_ < 0 || progressUpdates_ <= abortAfter_;
}

}  // namespace duz::test
