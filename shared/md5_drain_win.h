// Windows only: makes every MD5 digest on a thread with windows keep that
// thread's message queue moving. Call once at program start.
#pragma once

namespace corvane {

void InstallMd5MessageDrain();

}  // namespace corvane
