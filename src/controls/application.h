// The process-wide application object and screen cursors.
//
// TApplication keeps the main window handle (the owner of message boxes),
// owns the forms handed to it, runs pending messages during long work and
// reports exceptions that leave an event handler. TScreen keeps the cursor
// table (index -> cursor) and the application-wide cursor that overrides
// every control's own while it is not crDefault.
//
// Both are used on the user-interface thread only.
#pragma once

#include <windows.h>

#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lumora {

class TForm;

class TApplication {
 public:
  TApplication() = default;
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  HWND Handle() const { return handle_; }
  void SetHandle(HWND handle) { handle_ = handle; }

  // Ownership of forms from their creation to their teardown.
  void InsertComponent(std::unique_ptr<TForm> form);
  // Hands the form back to the caller; nullptr when it is not owned here.
  std::unique_ptr<TForm> RemoveComponent(TForm* form);
  bool OwnsComponent(const TForm* form) const;
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  std::vector<TForm*> Components() const;
  // Frees every form still owned (the plugin is being unloaded).
  void FreeComponents();

  // Dispatches every message waiting in the thread's queue. A WM_QUIT met
  // on the way is posted again so the caller's loop still sees it.
  void ProcessMessages();

  // The default report of an exception that left an event handler: a
  // message box with the exception's text. The program goes on.
  void ShowException(const std::exception& error);
  void ShowException(const std::wstring& text);
  // Reports the exception being handled (call inside a catch block).
  void HandleCurrentException();

 private:
  HWND handle_ = nullptr;                          // not owned: the host's window
  std::vector<std::unique_ptr<TForm>> components_; // owned forms
};

TApplication& Application();

// Cursor indexes of the cursor table.
constexpr int crDefault = 0;
constexpr int crArrow = -2;
constexpr int crHourGlass = -11;
constexpr int crHandPoint = -21;

class TScreen {
 public:
  // The application-wide cursor; crDefault lets each control show its own.
  int Cursor() const { return cursor_; }
  void SetCursor(int index);

  // The cursor for an index (the arrow for unknown indexes).
  HCURSOR Cursors(int index) const;
  void SetCursors(int index, HCURSOR cursor);

 private:
  int cursor_ = crDefault;
  std::map<int, HCURSOR> custom_;  // shared cursors, not owned (loaded from resources)
};

TScreen& Screen();

}  // namespace lumora
