// A plain form inside a test host, as parent of the controls under test.
#pragma once

#include <windows.h>

#include "controls/form.h"

namespace lumora::test {

class TTestForm : public TForm {
 public:
  explicit TTestForm(HWND host) {
    CreateForm(host, L"LumoraTestForm");
    Show();
  }
  ~TTestForm() override { DestroyFormWindow(); }
};

}  // namespace lumora::test
