// The notification-area icon. (Placeholder until the tray is built.)
#pragma once

namespace corvane {

class CSystemTray {
 public:
  CSystemTray() = default;
};

}  // namespace corvane
