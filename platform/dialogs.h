// Every prompt an engine, the procedure or a tool can show goes through this
// interface: the program installs a Qt implementation, tests a scripted one,
// the command-line tools a fixed policy. Texts are Windows-1252.
#pragma once

#include <string>

namespace duz {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel, AbortRetryIgnore, RetryCancel };
enum class MsgResult { OK, Cancel, Yes, No, Abort, Retry, Ignore };

class IDialogs {
 public:
  virtual ~IDialogs() = default;

  virtual MsgResult MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                               MsgIcon icon) = 0;
  // Text-input box (the class library's InputQuery): value holds the initial
  // text and receives the answer; false on Cancel.
  virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) = 0;
  // Password/login dialog of an engine: caption, the database or store name
  // shown, the answer in password; false on Cancel.
  virtual bool PasswordDialog(const std::string& caption, const std::string& databaseName,
                              std::string& password) = 0;

  // Progress window of long engine operations: shown on request, updated with
  // a percentage and message; Update returns false once the user pressed Abort.
  virtual void ProgressBegin(const std::string& caption, const std::string& message) = 0;
  virtual bool ProgressUpdate(int percent, const std::string& message) = 0;
  virtual void ProgressEnd() = 0;

  // Processes pending window messages (no-op outside the program).
  virtual void ProcessMessages() = 0;
};

// The installed implementation; a default that answers every prompt with
// its negative choice (Cancel/No/Abort) and shows nothing when none is set.
IDialogs& Dialogs();
// Installs d (not owned) and returns the previous one; nullptr restores the default.
IDialogs* SetDialogs(IDialogs* d);

}  // namespace duz
