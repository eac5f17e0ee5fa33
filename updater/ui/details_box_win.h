// DetailsBox: the read-only, multi-line edit control under the download and
// update pages' status line, with a text and background colour of its own.
// Every line that ShowStatus writes is appended here.
#pragma once

#include <windows.h>

#include <string>

#include "win32/scoped_handles.h"
#include "win32/window.h"

namespace corvane {

class DetailsBox : public Window {
 public:
  DetailsBox();

  bool Attach(HWND edit);

  // Replaces the background brush and repaints.
  void SetBackgroundColor(COLORREF color);
  void SetTextColor(COLORREF color);
  COLORREF BackgroundColor() const { return background_color_; }

  // Appends `text` and a line break with the caret at the end; when the box
  // then holds more lines than fit (its height / `line_height`), scrolls down
  // by the lines beyond that. An edit control takes about 30,000 characters
  // and then refuses more, so the oldest lines are dropped to make room: the
  // box always shows the latest ones. Call on the box's thread.
  void AppendLine(const std::string& text, int line_height = 20);

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  LRESULT Colorize(HDC dc);

  // What the box holds, in bytes, as appended here (asking the control
  // converts its whole text each time); -1 until first read.
  LRESULT length_ = -1;
  COLORREF text_color_;
  COLORREF background_color_;
  ScopedBrush brush_;
};

}  // namespace corvane
