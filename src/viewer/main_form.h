// TfmMain: the viewer window, one per file the host's Lister shows.
//
// The form lives inside the Lister window (a child window that fills it),
// holds a two-page notebook (page 0 the image view, page 1 the thumbnail
// grid), a status bar with six owner-drawn panels with the load gauge and
// the thumbnail-size slider over panel 4, two popup menus and their icon
// list. It keeps the state the viewer's commands share. Its settings live
// under HKEY_CURRENT_USER\Software\Lumora.
//
// The form is built and used on the host's user-interface thread only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/drop_target.h"
#include "controls/flat_gauge.h"
#include "controls/form.h"
#include "controls/gauge_bar.h"
#include "controls/image_list.h"
#include "controls/image_mview.h"
#include "controls/image_view.h"
#include "controls/notebook.h"
#include "controls/popup_menu.h"
#include "controls/status_bar.h"
#include "viewer/keyboard_hook.h"

namespace lumora {

// Registry key of the viewer's settings (under HKEY_CURRENT_USER).
inline constexpr wchar_t kSettingsKey[] = L"Software\\Lumora";

// Screen cursor index of the hand shown while the image can be dragged.
inline constexpr int crHand = -17;

// A load time for the status bar: 1234 ms gives "1.234", always with a
// point, whatever the user's locale.
std::wstring FormatLoadSeconds(DWORD milliseconds);

class TfmMain : public TForm {
 public:
  // Creates the form inside `listerWindow` and runs FormCreate, which loads
  // `fileName`. Throws std::runtime_error when the window cannot be created.
  TfmMain(HWND listerWindow, const std::wstring& fileName);
  // Tears down (if Teardown has not run) with errors swallowed.
  ~TfmMain() override;

  // Runs FormDestroy and destroys the window; errors leave as exceptions.
  // Runs once; the destructor skips what it already did.
  void Teardown();

  // The viewer is to end while its code is still running: the load in
  // progress stops at its next check and lets no more messages run.
  void CancelLoad();
  // Whether the viewer is to end once its running code has returned.
  bool Closing() const { return IdleActionPending(); }

  // ---- Components (owned by the form) --------------------------------------
  std::unique_ptr<TStatusBar> StatusBar1;
  std::unique_ptr<TNotebook> Notebook;
  std::unique_ptr<TImageView> ImageView;
  std::unique_ptr<TFlatGauge> Gauge;
  std::unique_ptr<TImageMView> ImageMView;
  std::unique_ptr<TGaugeBar> ThumbsVidth;
  std::unique_ptr<TDropTarget> JvDragDrop1;
  std::unique_ptr<TImageList> ImageList;
  std::unique_ptr<TPopupMenu> ppView;
  std::unique_ptr<TPopupMenu> ppThumbs;

  // Items of ppView (owned by the menu).
  TMenuItem* mnuCopy = nullptr;
  TMenuItem* mnuSaveSel = nullptr;
  TMenuItem* mnuCopyAll = nullptr;
  TMenuItem* mnuSave = nullptr;
  TMenuItem* N13 = nullptr;
  TMenuItem* N7 = nullptr;
  TMenuItem* N1 = nullptr;
  TMenuItem* mnu100percent = nullptr;
  TMenuItem* mnuFit = nullptr;
  TMenuItem* N2 = nullptr;
  TMenuItem* mnuInterpolation = nullptr;
  TMenuItem* mnuMouseSelect = nullptr;
  TMenuItem* N10 = nullptr;
  TMenuItem* mnuThumbs = nullptr;
  TMenuItem* mnuFullScreen = nullptr;
  TMenuItem* N16 = nullptr;
  TMenuItem* N15 = nullptr;
  TMenuItem* N3 = nullptr;
  TMenuItem* N8 = nullptr;
  TMenuItem* N5 = nullptr;
  TMenuItem* N6 = nullptr;
  TMenuItem* N4 = nullptr;
  // Items of ppThumbs (owned by the menu).
  TMenuItem* mnuView = nullptr;
  TMenuItem* N14 = nullptr;
  TMenuItem* N9 = nullptr;
  TMenuItem* mnuReloadThum = nullptr;
  TMenuItem* N18 = nullptr;
  TMenuItem* N17 = nullptr;
  TMenuItem* N11 = nullptr;
  TMenuItem* mnuFullScreen2 = nullptr;
  TMenuItem* N12 = nullptr;
  TMenuItem* mnuFileProperties = nullptr;

  // ---- State shared by the commands ------------------------------------------
  HWND HostWindow = nullptr;   // the Lister window (not owned)
  bool HostIsChild = false;    // the Lister window is itself a child window
  HMENU HostMenu = nullptr;    // the Lister window's menu (not owned)
  std::wstring CurrentFile;
  std::vector<std::wstring> FolderFiles;
  int CurrentIndex = 0;
  std::wstring ThumbsFolder;
  bool LoadFinished = true;
  bool ShowLoadTime = false;
  bool LoadCancelled = false;
  int LastPercent = 0;
  DWORD LoadStartTick = 0;

  // The keyboard hook that brings this viewer its arrow keys.
  const TViewerKeyboardHook& KeyboardHook() const { return keyboardHook_; }

  // ---- Construction and teardown ---------------------------------------------
  void FormCreate();
  void FormDestroy();
  void FormResize(TControl& sender);
  void AttachMenuPainters(TPopupMenu& menu);
  void mnuCopyMeasureItem(TMenuItem& sender, HDC dc, int& width, int& height);
  void mnuCopyAdvancedDrawItem(TMenuItem& sender, HDC dc, const RECT& rect, UINT state);
  // Zoom at which the whole image fits the view (100 for no image).
  double FitZoom() const;

  // ---- Loading and the status bar ----------------------------------------------
  void OpenImage(const std::wstring& fileName, bool scanFolder);
  void ImageViewProgress(TImageView& sender, int percent);
  void ImageViewFinishWork(TImageView& sender);
  void StatusBar1DrawPanel(TStatusBar& sender, int panel, HDC dc, const RECT& rect);

  // ---- Keys ------------------------------------------------------------------------
  void FormKeyDown(TControl& sender, WORD key, TShiftState shift);
  void CloseViewer();
  // PageDown (+1) and PageUp (-1): the neighbour in FolderFiles, loaded
  // without a folder scan; nothing at either end of the list. A folder
  // whose entries changed since its scan (its modification time moved) is
  // scanned again first, so a step never lands on a file that has gone.
  void StepImage(int direction);
  // A quarter turn of the shown image: counter-clockwise for +90, clockwise
  // for -90.
  void RotateImage(int degrees);

  // ---- View commands -------------------------------------------------------------
  void UpdateZoomPanel(int zoom);
  void mnu100percentClick(TMenuItem& sender);
  void mnuFitClick(TMenuItem& sender);
  void mnuInterpolationClick(TMenuItem& sender);
  void mnuMouseSelectClick(TMenuItem& sender);
  void mnuFullScreenClick(TMenuItem& sender);
  void mnuFullScreen2Click(TMenuItem& sender);
  void ImageViewZoomIn(TImageView& sender, double zoom);
  void ImageViewDblClick(TImageView& sender);
  void ImageViewDrawCanvas(TImageView& sender, HDC dc, const RECT& rect);
  void ppViewPopup(TPopupMenu& sender);
  // "[3/17] - photo.jpg": the full-screen caption drawn over the image.
  std::wstring OverlayText() const;

  // ---- File commands ---------------------------------------------------------------
  void mnuCopyClick(TMenuItem& sender);
  void mnuCopyAllClick(TMenuItem& sender);
  void mnuSaveClick(TMenuItem& sender);
  void mnuSaveSelClick(TMenuItem& sender);
  void N7Click(TMenuItem& sender);
  void N4Click(TMenuItem& sender);
  void N5Click(TMenuItem& sender);
  void N8Click(TMenuItem& sender);
  void N15Click(TMenuItem& sender);
  void mnuFilePropertiesClick(TMenuItem& sender);
  void JvDragDrop1Drop(TDropTarget& sender, POINT point, const std::vector<std::wstring>& names);

  // ---- Thumbnail page and folder ---------------------------------------------------
  void mnuThumbsClick(TMenuItem& sender);
  void mnuViewClick(TMenuItem& sender);
  void mnuReloadThumClick(TMenuItem& sender);
  void NotebookPageChanged(TNotebook& sender);
  void ThumbsVidthChange(TGaugeBar& sender);
  void ScanFolder(const std::wstring& folder);
  void UpdateListerCaption(const std::wstring& fileName);
  void ShowPosition();
  // The size text of status panel 2: "0Байт", "1023Байт", "1.5Кб", "1Мб"...;
  // "> 2 Гб" when the file cannot be opened or measured.
  static std::wstring FormatFileSize(const std::wstring& fileName);
  void ImageMViewImageSelect(TImageMView& sender, int index);
  void ImageMViewDblClick(TImageMView& sender);
  void ImageMViewMouseDown(TImageMView& sender, TMouseButton button, TShiftState shift, int x, int y);

 protected:
  void CreateParams(TCreateParams& params) override;

 private:
  void CreateComponents();
  void CreateMenus();
  void ReadSettings();
  void WriteSettings();

  // Whether the folder of the last scan has had entries added, removed or
  // renamed since (one attribute query, whatever the folder's size).
  bool FolderChangedSinceScan() const;

  TViewerKeyboardHook keyboardHook_;
  DWORD lastProgressPump_ = 0;       // when a progress report last let messages run
  std::wstring scannedFolder_;       // with its trailing backslash
  FILETIME scannedFolderTime_{};     // its modification time at the scan
  bool tornDown_ = false;
};

}  // namespace lumora
