// What the device layer tells the front ends about a download, as values:
// why the device could not be opened, and how a download ended. The front
// ends decide what to do about them and take their words from
// common/user_texts.h.
//
// Thread-safety: plain values.
#pragma once

namespace tabrelium {

// Why the device could not be opened, for the line after "Connection failed".
enum class OpenFailure {
  kNone,
  kLibrary,       // the HID library did not start
  kNoDevice,      // no HID device has the vendor and product ids
  kAccessDenied,  // a matching device exists but may not be opened (permissions)
  kBusy,          // a matching device exists but could not be opened for another reason
};

enum class DownloadOutcome {
  kConnectionFailed,
  kCompleted,        // the device's last word was "complete"
  kFailed,           // ... "failed"
  kEnded,            // ... "end", without saying how it went
  kCapacityRefused,  // the device has too little room, and did not complete
  kDisconnected,     // the device vanished before its last word
  kStopped,          // the owner stopped it before the device's last word
  kDeviceSilent,     // the device said nothing for the owner's silence limit
};

}  // namespace tabrelium
