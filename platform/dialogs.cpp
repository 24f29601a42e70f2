#include "platform/dialogs.h"

namespace duz {
namespace {

class NullDialogs final : public IDialogs {
 public:
  MsgResult MessageBox(const std::string&, const std::string&, MsgButtons buttons, MsgIcon) override {
    switch (buttons) {
      case MsgButtons::OK: return MsgResult::OK;
      case MsgButtons::YesNo: return MsgResult::No;
      case MsgButtons::AbortRetryIgnore: return MsgResult::Abort;
      default: return MsgResult::Cancel;
    }
  }
  bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
  bool PasswordDialog(const std::string&, const std::string&, std::string&) override { return false; }
  void ProgressBegin(const std::string&, const std::string&) override {}
  bool ProgressUpdate(int, const std::string&) override { return true; }
  void ProgressEnd() override {}
  void ProcessMessages() override {}
};

NullDialogs g_null;
IDialogs* g_current = &g_null;

}  // namespace

IDialogs& Dialogs() { return *g_current; }

IDialogs* SetDialogs(IDialogs* d) {
  IDialogs* previous = g_current == &g_null ? nullptr : g_current;
  g_current = d ? d : &g_null;
  return previous;
}

}  // namespace duz
