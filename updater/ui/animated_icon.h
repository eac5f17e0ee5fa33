// The strip of 16x16 icon frames. (Placeholder until the tray is built.)
#pragma once

namespace corvane {

class AnimatedIcon {
 public:
  AnimatedIcon() = default;
};

}  // namespace corvane
