// A meter on screen: a child window that paints the toolkit-free meter model, keeps the model
// told of its size, and answers the model's two requests (repaint now, and handle the messages
// waiting, so a long extraction keeps the window alive).
#pragma once

#include <windows.h>

#include <functional>

#include "components/meter.h"

namespace vz::win32 {

class MeterControl {
 public:
  // A hidden child of parent with the control id; process_messages handles the messages waiting.
  MeterControl(HWND parent, int id, std::function<void()> process_messages);
  ~MeterControl();
  MeterControl(const MeterControl&) = delete;
  MeterControl& operator=(const MeterControl&) = delete;

  HWND Handle() const { return window_; }
  // The meter this control shows; links and components refer to it. It goes with the control,
  // and whatever refers to it then forgets it.
  Meter& Model() { return meter_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Paint(HDC dc) const;

  Meter meter_;
  HWND window_ = nullptr;
};

}  // namespace vz::win32
