// TfmMain: loading images, load progress and the status bar panels.
#include <cstdio>
#include <filesystem>

#include "controls/application.h"
#include "controls/win_util.h"
#include "draw/bevel_frame.h"
#include "shell/messages.h"
#include "viewer/main_form.h"

namespace lumora {

std::wstring FormatLoadSeconds(DWORD milliseconds) {
  // Whole milliseconds need no floating point, and integer formatting keeps
  // the point whatever decimal separator the user's locale has.
  wchar_t text[32];
  std::swprintf(text, std::size(text), L"%lu.%03lu", static_cast<unsigned long>(milliseconds / 1000),
                static_cast<unsigned long>(milliseconds % 1000));
  return text;
}

namespace {

// Least time between two progress reports that repaint and let messages run.
constexpr DWORD kProgressPumpMs = 40;

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The part after the last backslash or slash.
std::wstring FileNamePart(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The folder with its trailing backslash ("" for a bare name).
std::wstring FolderPart(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace

void TfmMain::OpenImage(const std::wstring& fileName, bool scanFolder) {
  // Progress events let messages run inside a load, so a command may call
  // in here again; a second load on the same I/O object must not start.
  if (!LoadFinished) return;
  LoadFinished = false;
  if (!FileExists(fileName)) {
    ShowInfoMessage(Handle(), L"Файл не найден: " + Quoted(fileName));
    CloseViewer();
    return;
  }
  UpdateListerCaption(fileName);
  Screen().SetCursor(crHourGlass);
  ShowLoadTime = true;
  LoadCancelled = false;
  ImageView->SetAutoShrink(true);
  LastPercent = -1;
  try {
    ImageView->IO().LoadImage(std::filesystem::path(fileName));
  } catch (...) {
    // The caller reports the error; the viewer must stay usable for the
    // next command.
    ImageView->SetAutoShrink(false);
    Screen().SetCursor(crDefault);
    Gauge->Hide();
    LoadFinished = true;
    throw;
  }
  ImageView->SetAutoShrink(false);
  Screen().SetCursor(crDefault);
  LoadFinished = true;  // also when the I/O object reported no end of work
  if (LoadCancelled || Closing()) return;

  TImageIO& io = ImageView->IO();
  if (io.Aborting) {
    ShowInfoMessage(Handle(), L"Невозможно загрузить изображение: " + Quoted(FileNamePart(fileName)));
  } else {
    ImageView->Deselect();
    CurrentFile = fileName;
    if (scanFolder) ScanFolder(FolderPart(fileName));
  }
  UpdateZoomPanel(0);
  ShowPosition();
  const TIOParamsVals& params = io.Params;
  wchar_t text[96];
  std::swprintf(text, std::size(text), L"%d x %d x %d Бит", params.Width, params.Height,
                params.BitsPerSample * params.SamplesPerPixel);
  StatusBar1->SetPanelText(1, text);
  StatusBar1->SetPanelText(2, std::to_wstring(params.DpiX) + L"dpi");
  StatusBar1->SetPanelText(5, Utf8ToWide(io.FileTypeDescription()));
}

void TfmMain::ImageViewProgress(TImageView& sender, int percent) {
  if (Closing()) {
    // The viewer ends when this load has returned; nothing more runs in it.
    ImageView->IO().Aborting = true;
    return;
  }
  if (LoadCancelled) {
    ImageView->IO().Aborting = true;
    StatusBar1->SetPanelText(4, L"Загрузка отменена");
    Gauge->Hide();
    return;
  }
  // Readers report progress as often as every row: repainting and pumping
  // each time cost more than the decoding itself (a status bar repaint is a
  // round trip to the display). Input and host messages still run several
  // times a second, and at the load's first and last report.
  const DWORD now = GetTickCount();
  if (percent >= 100 || LastPercent < 0 || now - lastProgressPump_ >= kProgressPumpMs) {
    lastProgressPump_ = now;
    StatusBar1->Repaint();
    Application().ProcessMessages();
    if (Closing()) {
      ImageView->IO().Aborting = true;
      return;
    }
  }
  if (percent == LastPercent) return;
  LastPercent = percent;
  if (!Gauge->Visible()) {
    LoadStartTick = GetTickCount();
    if (ShowLoadTime) StatusBar1->SetPanelText(4, L"");
    Gauge->Show();
  }
  Gauge->SetProgress(percent);
  if (Gauge->Progress() != Gauge->MaxValue()) return;
  Gauge->Hide();
  if (ShowLoadTime) {
    if (LoadStartTick != 0) {
      DWORD elapsed = GetTickCount() - LoadStartTick;  // unsigned: survives the counter's wrap
      StatusBar1->SetPanelText(4, L"Загружено за " + FormatLoadSeconds(elapsed) + L" сек");
    }
    ShowLoadTime = false;
  }
}

void TfmMain::ImageViewFinishWork(TImageView& sender) {
  if (Closing()) {
    LoadFinished = true;
    return;
  }
  ImageView->Repaint();
  Application().ProcessMessages();
  LoadFinished = true;
}

void TfmMain::StatusBar1DrawPanel(TStatusBar& sender, int panel, HDC dc, const RECT& rect) {
  RECT r = rect;
  r.bottom += 1;
  DrawBevelFrame(dc, r, GetSysColor(COLOR_BTNSHADOW), 1, GetSysColor(COLOR_BTNHIGHLIGHT));
  SetBkMode(dc, TRANSPARENT);
  const TStatusPanel& info = sender.Panel(panel);
  if (info.Alignment == TAlignment::taCenter) {
    DrawTextW(dc, info.Text.c_str(), static_cast<int>(info.Text.size()), &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  } else {
    r.left += 4;
    DrawTextW(dc, info.Text.c_str(), static_cast<int>(info.Text.size()), &r, DT_SINGLELINE | DT_VCENTER);
  }
}

}  // namespace lumora
