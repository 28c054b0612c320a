#include "viewer/keyboard_hook.h"

#include <array>
#include <mutex>
#include <utility>

#include "controls/application.h"
#include "controls/form.h"

namespace lumora {

namespace {

struct THookSlot {
  TForm* viewer = nullptr;   // not owned; null when the slot is free
  HWND host = nullptr;       // the viewer's Lister window (not owned)
  HHOOK hook = nullptr;      // owned by the TViewerKeyboardHook using the slot
  DWORD thread = 0;
  unsigned long serial = 0;  // creation order: higher is newer
};

// A hook procedure receives no context of its own, so each slot has its own
// procedure (below) that knows its index.
std::mutex g_lock;
std::array<THookSlot, TViewerKeyboardHook::kMaxHooks> g_slots;
unsigned long g_nextSerial = 1;

bool IsArrowKey(WPARAM key) { return key == VK_LEFT || key == VK_UP || key == VK_RIGHT || key == VK_DOWN; }

bool HoldsFocus(HWND host, HWND focus) { return focus && host && (focus == host || IsChild(host, focus)); }

// Whether the key now being handled belongs to the viewer in `slot`.
// Called with g_lock held.
bool KeyBelongsTo(int slot) {
  const THookSlot& own = g_slots[static_cast<size_t>(slot)];
  HWND focus = GetFocus();
  if (HoldsFocus(own.host, focus)) return true;
  for (const THookSlot& other : g_slots) {
    if (!other.viewer || other.thread != own.thread || &other == &own) continue;
    if (HoldsFocus(other.host, focus)) return false;  // that viewer's key
    if (other.serial > own.serial) return false;      // a newer viewer takes stray keys
  }
  return true;
}

LRESULT HookProcedure(int slot, int code, WPARAM key, LPARAM flags) {
  HHOOK own = nullptr;
  TForm* target = nullptr;
  {
    std::lock_guard lock(g_lock);
    own = g_slots[static_cast<size_t>(slot)].hook;
    if (code == HC_ACTION && IsArrowKey(key) && g_slots[static_cast<size_t>(slot)].viewer && KeyBelongsTo(slot)) {
      target = g_slots[static_cast<size_t>(slot)].viewer;
    }
  }
  if (target) {
    TForm::TBusyScope busy(target);
    try {
      target->PreviewKeyDown(static_cast<WORD>(key), KeyboardShiftState());
    } catch (...) {
      Application().HandleCurrentException();
    }
  }
  return CallNextHookEx(own, code, key, flags);
}

template <int Slot>
LRESULT CALLBACK SlotProcedure(int code, WPARAM key, LPARAM flags) {
  return HookProcedure(Slot, code, key, flags);
}

template <int... Slots>
constexpr std::array<HOOKPROC, sizeof...(Slots)> MakeProcedures(std::integer_sequence<int, Slots...>) {
  return {&SlotProcedure<Slots>...};
}

constexpr auto kProcedures = MakeProcedures(std::make_integer_sequence<int, TViewerKeyboardHook::kMaxHooks>{});

}  // namespace

TViewerKeyboardHook::~TViewerKeyboardHook() { Uninstall(); }

bool TViewerKeyboardHook::Install(TForm& viewer, HWND hostWindow) {
  Uninstall();
  std::lock_guard lock(g_lock);
  for (size_t i = 0; i < g_slots.size(); ++i) {
    THookSlot& slot = g_slots[i];
    if (slot.viewer) continue;
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD, kProcedures[i], nullptr, GetCurrentThreadId());
    if (!hook) return false;
    slot = THookSlot{&viewer, hostWindow, hook, GetCurrentThreadId(), g_nextSerial++};
    slot_ = static_cast<int>(i);
    return true;
  }
  return false;
}

void TViewerKeyboardHook::Uninstall() {
  if (slot_ < 0) return;
  HHOOK hook = nullptr;
  {
    std::lock_guard lock(g_lock);
    hook = std::exchange(g_slots[static_cast<size_t>(slot_)], THookSlot{}).hook;
  }
  if (hook) UnhookWindowsHookEx(hook);
  slot_ = -1;
}

HHOOK TViewerKeyboardHook::Handle() const {
  if (slot_ < 0) return nullptr;
  std::lock_guard lock(g_lock);
  return g_slots[static_cast<size_t>(slot_)].hook;
}

int TViewerKeyboardHook::InstalledCount() {
  std::lock_guard lock(g_lock);
  int count = 0;
  for (const THookSlot& slot : g_slots) count += slot.viewer ? 1 : 0;
  return count;
}

}  // namespace lumora
