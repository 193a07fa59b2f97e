/* In-process control of the emulated download device, for tests that link
 * libtabrelium-hidemu instead of libhidapi-hidraw: what the device received
 * and did, and a reset between tests. The counters and the state cover every
 * device opened since the last hidemu_reset (the state is the latest
 * device's).
 *
 * Thread-safety: every function may be called from any thread, also while a
 * device is open and its thread runs. */
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum hidemu_state {
  HIDEMU_IDLE = 0,           /* no device opened since the reset */
  HIDEMU_ASKING_HEADER = 1,  /* asking the host for the package header */
  HIDEMU_RECEIVING = 2,      /* asking for blocks */
  HIDEMU_COMPLETED = 3,      /* data checked against the package CRC; CMD_COMPLETE sent */
  HIDEMU_CRC_FAILED = 4,     /* all blocks in, package CRC wrong; CMD_FAILED sent */
  HIDEMU_REFUSED = 5,        /* the host's N exceeds the capacity; CMD_FAILED sent */
  HIDEMU_UNPLUGGED = 6       /* vanished at TABRELIUM_EMU_UNPLUG_AT_BLOCK */
};

struct hidemu_stats {
  unsigned long long opens;               /* successful hid_open / hid_open_path */
  unsigned long long closes;              /* hid_close of an open device */
  unsigned long long frames_from_host;    /* host reports that took bus time, lost ones included */
  unsigned long long frames_to_host;      /* device frames that took bus time, lost ones included */
  unsigned long long frames_lost;         /* either way, also host-buffer overflows */
  unsigned long long frames_corrupted;    /* either way: one byte changed on the wire */
  unsigned long long frames_rejected;     /* host frames the device dropped as damaged */
  unsigned long long header_requests;     /* CMD_HEADER frames the device sent */
  unsigned long long block_requests;      /* CMD_BLOCK requests, first asks and repeats */
  unsigned long long block_repeats;       /* requests for a block that was asked for before */
  unsigned long long block_crc_failures;  /* blocks whose CRC-16 failed once all slices were in */
  unsigned long long out_of_sequence;     /* CMD_OUT_OF_SEQUENCE answers received */
  unsigned long long blocks_done;         /* blocks received whole with a good CRC-16 */
  unsigned int data_length;               /* N from the host's last accepted header, bytes */
  enum hidemu_state state;
};

/* Fills `stats` with the counters since the last reset. */
void hidemu_get_stats(struct hidemu_stats* stats);

/* Waits up to `timeout_ms` (negative: no limit) until the latest device has
 * ended: completed, CRC failed, refused or unplugged. Returns the state then,
 * whatever it is. */
enum hidemu_state hidemu_wait_for_end(int timeout_ms);

/* The data bytes the device received and checked against the package CRC.
 * Copies up to `capacity` bytes into `buffer` (which may be NULL when
 * `capacity` is 0) and returns their full count: 0 when no download
 * completed since the reset. */
size_t hidemu_received_data(unsigned char* buffer, size_t capacity);

/* The host's answer times: for each device request (header or block) the
 * host read, the nanoseconds from the read that delivered it to the start of
 * the host's next write. Copies up to `capacity` samples and returns their
 * full count. */
size_t hidemu_answer_latencies_ns(unsigned long long* nanoseconds, size_t capacity);

/* Zeroes the counters, forgets the received data and sets the state to
 * HIDEMU_IDLE. Meant for between tests, with no device open. */
void hidemu_reset(void);

#ifdef __cplusplus
}
#endif
