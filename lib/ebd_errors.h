/**
 * @file ebd_errors.h
 * @brief The codes the library stores as a port's last error.
 *
 * One table for every layer of the library and for its callers: an operation
 * that fails stores one of these 16-bit codes as the last error of its port,
 * where WGetLastError() finds it and WGetErrorText() names it. A success never
 * clears it. Included by <ebd/ebd.h>; plain C, it needs nothing but
 * <stdint.h>.
 *
 * Two values appear twice, because their meaning depends on who stored them:
 * 4 is #EBD_ERR_PORT_OPEN after a failed WComOpen() and
 * #EBD_ERR_BAD_REFERENCE after a remote call.
 *
 * Codes that no enumerator names:
 * - #EBD_ERR_IDENTITY_BASE + s, for the identity and security operations
 *   whose module answered with the non-zero signed status byte s
 *   (572 to 827, without 700);
 * - WStartCircuitSwitchedCall() stores the length of a number longer than
 *   251 characters as the code itself (cut to 16 bits).
 */
#ifndef EBD_ERRORS_H
#define EBD_ERRORS_H

#include <stdint.h>

/** @brief The last-error codes of the library (values of uint16_t). */
typedef enum EBDErrorCode {
    /** No code stored: no failure on the port has stored one since
     *  WInitLibrary(). */
    EBD_OK = 0,
    /** The request could not be sent to the module (no acknowledgement). */
    EBD_ERR_NOT_SENT = 1,
    /** The module sent no confirm for the request. */
    EBD_ERR_NO_CONFIRM = 2,
    /** WComOpen(): the port already has a session. */
    EBD_ERR_PORT_IN_USE = 3,
    /** WComOpen(): the port does not exist, is held by another program or
     *  cannot be set up. */
    EBD_ERR_PORT_OPEN = 4,
    /** A remote call: the confirm carries another request's reference (for an
     *  operation-mode change: the confirm's status is not 0). */
    EBD_ERR_BAD_REFERENCE = 4,
    /** The confirm reports failure in its status field, or the module never
     *  reported the band mode it was given. */
    EBD_ERR_STATUS = 5,
    /** A calibration-item check: the confirm carries an unknown status. */
    EBD_ERR_CHECK_STATUS = 6,
    /** No memory for a request or confirm area. */
    EBD_ERR_NO_MEMORY = 9,
    /** The session handle is invalid. */
    EBD_ERR_INVALID_HANDLE = 10,
    /** The band is outside 0 to 3 or not permitted by the dual-band mode. */
    EBD_ERR_INVALID_BAND = 12,
    /** The AM loop offset is 64 or more. */
    EBD_ERR_AM_LOOP_OFFSET = 13,
    /** The modulation is neither 0 (GMSK) nor 1 (8PSK). */
    EBD_ERR_MODULATION = 14,
    /** The ramp DAC value is 1024 or more. */
    EBD_ERR_RAMP_DAC = 15,
    /** The module reported a frequency-burst status other than 1 or 2. */
    EBD_ERR_FREQUENCY_BURST = 16,
    /** The calibration journal in the state directory could not be written,
     *  read or removed. One that could not be written stops the write-back
     *  before anything is erased; one left behind after every item is back in
     *  NVRAM is taken up and removed by the next write-back on that module. */
    EBD_ERR_JOURNAL = 17,
    /** Identity and security operations: the module refused with the non-zero
     *  signed status byte s, stored as this value + s. */
    EBD_ERR_IDENTITY_BASE = 700
} EBDErrorCode;

#endif /* EBD_ERRORS_H */
