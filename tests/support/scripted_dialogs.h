// Dialogs for tests: answers are queued by the test, every prompt is
// recorded. An unexpected prompt (empty queue) fails the current test and
// answers with the negative choice.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace duz::test {

struct Prompt {
  std::string kind;  // "message", "input", "password", "progress"
  std::string text;
  std::string caption;
  MsgButtons buttons = MsgButtons::OK;
  MsgIcon icon = MsgIcon::None;
};

class ScriptedDialogs : public IDialogs {
 public:
  ScriptedDialogs();   // installs itself
  ~ScriptedDialogs() override;  // restores the previous dialogs

  void AnswerMessage(MsgResult r) { messages_.push_back(r); }
  // nullptr-like cancel: ok = false
  void AnswerInput(std::string value, bool ok = true) { inputs_.push_back({std::move(value), ok}); }
  void AnswerPassword(std::string value, bool ok = true) { passwords_.push_back({std::move(value), ok}); }
  void AbortProgressAfter(int updates) { abortAfter_ = updates; }

  const std::vector<Prompt>& Prompts() const { return prompts_; }
  int ProcessMessagesCalls() const { return processMessages_; }
  bool AllAnswersUsed() const { return messages_.empty() && inputs_.empty() && passwords_.empty(); }

  MsgResult MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                       MsgIcon icon) override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
  bool PasswordDialog(const std::string& caption, const std::string& databaseName,
                      std::string& password) override;
  void ProgressBegin(const std::string& caption, const std::string& message) override;
  bool ProgressUpdate(int percent, const std::string& message) override;
  void ProgressEnd() override {}
  void ProcessMessages() override { ++processMessages_; }

 private:
  struct Text {
    std::string value;
    bool ok;
  };
  IDialogs* previous_;
  std::deque<MsgResult> messages_;
  std::deque<Text> inputs_;
  std::deque<Text> passwords_;
  std::vector<Prompt> prompts_;
  int abortAfter_ = -1;
  int progressUpdates_ = 0;
  int processMessages_ = 0;
};

}  // namespace duz::test
