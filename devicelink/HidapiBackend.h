#pragma once

#include "hid/HidBackend.h"

#include <memory>

namespace devicelink {

// Real controllers: hidapi's hidraw enumeration, I/O on the hidraw nodes, a
// udev monitor on the hidraw subsystem for plug events, the udev queue for settling.
std::unique_ptr<hid::Backend> makeHidapiBackend();

// The device over an opened hidraw node (or anything that keeps report
// boundaries, such as a packet socket); it owns and closes `fd`.
std::unique_ptr<hid::Device> makeHidrawDevice(int fd);

// The part of a hidraw read that needs no device: the controllers use no
// numbered reports, so hidraw hands over the 64-byte record alone and the
// report ID byte 0 goes in front of it. Returns the report length, or the
// read result when it is not positive.
int reportFromHidraw(const unsigned char* raw, int rawLength, unsigned char* report, int reportCapacity);

}  // namespace devicelink
