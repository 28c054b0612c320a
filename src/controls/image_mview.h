// TImageMView: the thumbnail grid of the viewer's second page.
//
// This is the grid's outline: its window and the settings the viewer gives
// it. Layout, painting of thumbnails and their loading on worker threads
// are added with the thumbnail browser.
#pragma once

#include "controls/control.h"

namespace lumora {

enum class TGridStoreType { gsImage, gsThumb };
enum class TSelectionStyle { ssInvert, ssACD };
enum class TWallPaperStyle { woNone, woStretch, woTile };

// Mouse actions of the grid (a set).
enum TMultiMouseInteract : unsigned {
  mmiScroll = 1u << 0,
  mmiSelect = 1u << 1,
};

class TImageMView : public TControl {
 public:
  struct CreateArgs {
    TControl* parent = nullptr;
  };
  explicit TImageMView(const CreateArgs& args);

  TGridStoreType StoreType = TGridStoreType::gsThumb;
  int HorizBorder = 4;
  int VertBorder = 4;
  int UpperGap = 0;
  int BottomGap = 0;
  // -1: as many columns as fit the client width.
  int GridWidth = -1;
  unsigned MouseInteract = mmiScroll | mmiSelect;
  int SelectionWidth = 2;
  COLORREF SelectionColor = RGB(255, 0, 0);
  TSelectionStyle SelectionStyle = TSelectionStyle::ssInvert;
  int ThumbnailsBorderWidth = 0;
  COLORREF ThumbnailsBorderColor = RGB(0, 0, 0);
  bool ThumbnailsInternalBorder = false;
  COLORREF ThumbnailsInternalBorderColor = RGB(0, 0, 0);
  TWallPaperStyle WallPaperStyle = TWallPaperStyle::woNone;

  int ThumbWidth() const { return thumbWidth_; }
  int ThumbHeight() const { return thumbHeight_; }
  void SetThumbWidth(int width);
  void SetThumbHeight(int height);

  // Number of worker threads loading thumbnails at once.
  int ThreadPoolSize() const { return threadPoolSize_; }
  void SetThreadPoolSize(int size) { threadPoolSize_ = size; }

 private:
  int thumbWidth_ = 100;
  int thumbHeight_ = 100;
  int threadPoolSize_ = 10;
};

}  // namespace lumora
