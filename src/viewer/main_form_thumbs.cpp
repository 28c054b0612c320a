// TfmMain: the thumbnail page and the folder around the current image.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "imageio/registry.h"
#include "viewer/main_form.h"

namespace lumora {

namespace {

std::wstring Lower(std::wstring text) {
  CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// The folder part of a path, without the trailing separator.
std::wstring FolderOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// The name part of a path: after the last backslash, slash or colon.
std::wstring NameOf(const std::wstring& path) {
  size_t cut = path.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// Whether an enumerated entry may join the folder list: "." and "..", and
// sub-folders, are never images even when their names end like one.
bool IsImageEntry(const WIN32_FIND_DATAW& entry, const std::wstring& fullPath) {
  if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  return IsReadableExtension(std::filesystem::path(fullPath));
}

// Orders a fresh enumeration like the previous list of the same folder:
// names already listed keep their places, new ones follow in enumeration
// order. The file system's own order is kept for a first scan, and a
// rescan never reshuffles what the user has been stepping through.
void KeepPreviousOrder(std::vector<std::wstring>& files, const std::vector<std::wstring>& previous) {
  std::unordered_map<std::wstring, size_t> rank;
  for (size_t i = 0; i < previous.size(); ++i) rank.emplace(Lower(previous[i]), i);
  auto rankOf = [&](const std::wstring& path) {
    auto found = rank.find(Lower(path));
    return found == rank.end() ? previous.size() : found->second;
  };
  std::stable_sort(files.begin(), files.end(),
                   [&](const std::wstring& a, const std::wstring& b) { return rankOf(a) < rankOf(b); });
}

}  // namespace

namespace {

// The modification time of a folder (given with its trailing backslash);
// zero when it cannot be read.
FILETIME FolderTime(const std::wstring& folder) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  std::wstring path = folder;
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return FILETIME{};
  return data.ftLastWriteTime;
}

}  // namespace

bool TfmMain::FolderChangedSinceScan() const {
  if (scannedFolder_.empty()) return false;
  FILETIME now = FolderTime(scannedFolder_);
  return CompareFileTime(&now, &scannedFolderTime_) != 0;
}

void TfmMain::ScanFolder(const std::wstring& folder) {
  // Taken before the enumeration: a change during it shows at the next check.
  scannedFolder_ = folder;
  scannedFolderTime_ = FolderTime(folder);
  std::vector<std::wstring> previous;
  previous.swap(FolderFiles);
  bool sameFolder = !previous.empty() && Lower(FolderOf(previous.front()) + L"\\") == Lower(folder);

  WIN32_FIND_DATAW entry{};
  HANDLE find = FindFirstFileW((folder + L"*.*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring path = folder + entry.cFileName;
      if (IsImageEntry(entry, path)) FolderFiles.push_back(std::move(path));
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  if (sameFolder) KeepPreviousOrder(FolderFiles, previous);

  // The current file's place; a current file the list does not hold (its
  // spelling differs, or its extension is not registered) starts the list
  // at its first entry, so the index is always valid while there is one.
  std::wstring current = Lower(CurrentFile);
  CurrentIndex = FolderFiles.empty() ? -1 : 0;
  for (size_t i = 0; i < FolderFiles.size(); ++i) {
    if (Lower(FolderFiles[i]) == current) {
      CurrentIndex = static_cast<int>(i);
      break;
    }
  }
}

void TfmMain::UpdateListerCaption(const std::wstring& fileName) {
  if (HostIsChild) return;
  wchar_t buffer[261] = {};
  GetWindowTextW(HostWindow, buffer, 261);
  std::wstring caption(buffer);
  size_t bracket = caption.find(L'[');
  std::wstring kept = bracket == std::wstring::npos ? std::wstring() : caption.substr(0, bracket + 1);
  SetWindowTextW(HostWindow, (kept + fileName + L"]").c_str());
}

void TfmMain::ShowPosition() {
  StatusBar1->SetPanelText(0, std::to_wstring(CurrentIndex + 1) + L"/" + std::to_wstring(FolderFiles.size()));
}

std::wstring TfmMain::FormatFileSize(const std::wstring& fileName) {
  LARGE_INTEGER size{};
  size.QuadPart = -1;
  HANDLE file = CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    if (!GetFileSizeEx(file, &size)) size.QuadPart = -1;
    CloseHandle(file);
  }
  long long bytes = size.QuadPart;
  if (bytes < 0) return L"> 2 Гб";
  if (bytes == 0) return L"0Байт";
  double value = static_cast<double>(bytes);
  const wchar_t* unit = L"Байт";
  if (bytes >= (1LL << 30)) {
    value /= 1073741824.0;
    unit = L"Гб";
  } else if (bytes >= (1LL << 20)) {
    value /= 1048576.0;
    unit = L"Мб";
  } else if (bytes >= 1024) {
    value /= 1024.0;
    unit = L"Кб";
  }
  wchar_t text[64];
  if (value != std::floor(value)) {
    // Always a point, whatever the user's locale says.
    swprintf(text, 64, L"%.1f", value);
    for (wchar_t* c = text; *c; ++c)
      if (*c == L',') *c = L'.';
  } else {
    swprintf(text, 64, L"%.0f", value);
  }
  return std::wstring(text) + unit;
}

void TfmMain::mnuThumbsClick(TMenuItem& sender) { Notebook->SetPageIndex(1); }

void TfmMain::NotebookPageChanged(TNotebook& sender) {
  if (Notebook->PageIndex() == 0) {
    ThumbsVidth->Hide();
    UpdateZoomPanel(0);
    return;
  }
  for (int i = 2; i < StatusBar1->PanelCount(); ++i) StatusBar1->SetPanelText(i, L"");

  // Panel 1 keeps only "width x height " of "width x height x bits Бит".
  std::wstring size = StatusBar1->PanelText(1);
  size_t first = size.find(L'x');
  if (first != std::wstring::npos) {
    size_t second = size.find(L" x ", first + 1);
    if (second != std::wstring::npos) StatusBar1->SetPanelText(1, size.substr(0, second + 1));
  }

  ThumbsVidth->Show();
  ThumbsVidthChange(*ThumbsVidth);

  std::wstring folder = Lower(FolderOf(CurrentFile));
  if (folder != ThumbsFolder) {
    ThumbsFolder = folder;
    ImageMView->LockPaint();
    ImageMView->Clear();
    for (const std::wstring& file : FolderFiles) {
      int item = ImageMView->AppendImage();
      ImageMView->SetImageFileName(item, file);
      ImageMView->SetImageBottomText(item, NameOf(file));
    }
    ImageMView->UnlockPaint();
  }
  if (CurrentIndex >= 0) {
    ImageMView->SetSelectedItem(CurrentIndex);
    if (!ImageMView->IsVisible(CurrentIndex)) ImageMView->SetViewY(ImageMView->ImageY(CurrentIndex));
  }
  ImageMView->SetFocus();
}

void TfmMain::ImageMViewImageSelect(TImageMView& sender, int index) {
  if (index < 0 || index >= static_cast<int>(FolderFiles.size())) return;
  CurrentIndex = index;
  UpdateListerCaption(FolderFiles[index]);
  ShowPosition();
  int w = ImageMView->ImageOriginalWidth(index);
  int h = ImageMView->ImageOriginalHeight(index);
  StatusBar1->SetPanelText(1, w + h > 0 ? std::to_wstring(w) + L" x " + std::to_wstring(h) : L"");
  StatusBar1->SetPanelText(2, FormatFileSize(FolderFiles[index]));
}

void TfmMain::mnuViewClick(TMenuItem& sender) {
  if (CurrentIndex < 0 || CurrentIndex >= static_cast<int>(FolderFiles.size())) return;
  std::wstring path = FolderFiles[CurrentIndex];
  // The previous image must not show while the next one loads.
  ImageView->Fill(mnuFullScreen->Checked() ? RGB(0, 0, 0) : GetSysColor(COLOR_BTNFACE));
  ImageView->Repaint();
  Notebook->SetPageIndex(0);
  ImageView->SetFocus();
  OpenImage(path, false);
}

void TfmMain::ImageMViewDblClick(TImageMView& sender) { mnuViewClick(*mnuView); }

void TfmMain::ImageMViewMouseDown(TImageMView& sender, TMouseButton button, TShiftState shift, int x, int y) {
  // The thumbnail under the pointer is selected before the menu opens. The
  // grid is asked directly: a synthesized left click would queue behind the
  // right button's release and reach the grid only after the menu closed.
  if (button != TMouseButton::mbRight) return;
  ImageMView->SelectAt(x, y);
}

void TfmMain::ThumbsVidthChange(TGaugeBar& sender) {
  ImageMView->SetThumbWidth(ThumbsVidth->Position());
  ImageMView->SetThumbHeight(ThumbsVidth->Position());
  // On the image page panel 3 shows the zoom: a size read from the
  // settings at start-up must not replace it.
  if (Notebook->PageIndex() == 1) StatusBar1->SetPanelText(3, std::to_wstring(ThumbsVidth->Position()));
}

void TfmMain::mnuReloadThumClick(TMenuItem& sender) {
  if (CurrentIndex >= 0) ImageMView->UpdateImage(CurrentIndex);
}

}  // namespace lumora
