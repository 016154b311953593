/**
 * @file ebd.h
 * @brief The module-control library: public interface.
 *
 * Plain C functions with fixed-width types, usable from C, C++ and ctypes,
 * that drive a cellular radio module on a serial port: find out whether its
 * port speaks AT commands or the framed service protocol (NOMI), power it on,
 * bring it into an operation mode, and make the firmware's remote calls
 * (Java autostart, switch-off, AT commands, radio test and measurement, burst
 * and slot configuration, NVRAM items, a local calibration store, identity
 * and security).
 *
 * @section ebd_sessions Sessions and handles
 * WInitLibrary() resets the library; WComOpen() opens a serial port (COM1 to
 * COM32) and returns a session handle, WComClose() closes it. A handle carries
 * the port number in bits 19 to 12 and the check pattern 0xEBD00EBD in the
 * other bits; 0 is no session. Every operation that takes a handle checks the
 * pattern first (WSendAtCommand() checks its command's length before it; the
 * receiver gain table operations, which send nothing, check none): an
 * invalid handle gives the operation's failure result at once, without a
 * trace line and (unless the operation says otherwise) without storing a
 * code; so does a NULL pointer where the operation needs an area (a data
 * pointer with a size of 0 may be NULL). The library keeps what
 * it knows about a port (open port, trace handle, last error, cached module
 * state, calibration and burst stores) per port number; the calibration and
 * burst stores outlive the session.
 *
 * @section ebd_results Results and the last error
 * Operations return 1 for success and 0 for failure unless noted. A failure
 * that the library can name stores a 16-bit code as the port's last error,
 * which WGetLastError() returns and WGetErrorText() turns into a text; a
 * success never clears it, so read it right after the 0. The codes (enum
 * EBDErrorCode) are EBD_OK (0); the remote-call codes EBD_ERR_NOT_SENT (1,
 * the module did not acknowledge the request), EBD_ERR_NO_CONFIRM (2, no
 * confirm within 1 s), EBD_ERR_BAD_REFERENCE (4, the confirm of another
 * request), EBD_ERR_STATUS (5, the module reports failure, or its confirm is
 * too short), EBD_ERR_CHECK_STATUS (6) and EBD_ERR_NO_MEMORY (9); the
 * session codes EBD_ERR_PORT_IN_USE (3), EBD_ERR_PORT_OPEN (4) and
 * EBD_ERR_INVALID_HANDLE (10); the argument codes EBD_ERR_INVALID_BAND (12),
 * EBD_ERR_AM_LOOP_OFFSET (13), EBD_ERR_MODULATION (14) and EBD_ERR_RAMP_DAC
 * (15); EBD_ERR_FREQUENCY_BURST (16), EBD_ERR_JOURNAL (17), and
 * EBD_ERR_IDENTITY_BASE (700) + s for a module that refuses an identity
 * operation with the signed status s (572 to 827). Code 4 means
 * EBD_ERR_PORT_OPEN after WComOpen() and EBD_ERR_BAD_REFERENCE after a
 * remote call. The first remote call of a session asks the module for its
 * version first; when that query fails its code is stored and the operation
 * goes on with its own request, so even a successful operation may leave a
 * code behind. Where a failure stores no code, the operation says so.
 *
 * @section ebd_modes Modes the operations need
 * Remote calls travel over NOMI: the module must have been brought there by
 * WInitServiceMode(), WInitNormalMode(), WInitTestMode() or
 * WInitAirplaneMode() (a module already in NOMI also works). The library does
 * not check the firmware's operation mode; the firmware carries out the radio
 * test and measurement operations in test mode (WInitTestMode()), and the
 * autostart is switched in service mode (WInitServiceMode()). Operations that
 * send nothing (the calibration store, the receiver gain table, the settings)
 * need no module at all.
 *
 * @section ebd_blocking Blocking
 * Every operation runs on the caller's thread and returns within a bounded
 * time, also when the module is silent, misbehaves or its device vanishes.
 * The bounds given as "Blocks at most" are the longest virtual times
 * measured by the program bench/blocking_bounds against a well-behaved
 * module double and against every misbehaviour it offers (silence, NAKs,
 * garbage, withheld, refused or foreign confirms, a module that never
 * switches off), rounded up to whole seconds, plus the time the host's trace
 * callback takes. A typical remote call that the module answers takes
 * some 35 ms at 115200 baud.
 *
 * @section ebd_trace Trace
 * Every operation narrates itself in trace lines of at most 255 characters:
 * its call with the arguments, each step, each failure (a line ending in
 * "fails with error N") and its success (a line ending in "O.K."). Lines
 * begin with a tag naming the layer: "(EBD )" library, "(EBDV)" versions,
 * "(NOMI)" messages, "(RPC )" remote calls, "(GWL3)" message queue, "(TEST)"
 * calibration read-back. A session opened with a non-zero trace handle hands
 * its lines to the callback registered with WSetTraceCallback(); otherwise
 * they go to the file tracefiles/tracefile.txt below the working directory
 * while WEnableTraceFile() is in force, and are dropped when it is not.
 *
 * @section ebd_threads Threads
 * Different sessions may be used from different threads at the same time.
 * One session must not be used by two threads at once. WInitLibrary(),
 * WEnableTraceFile(), WDisableTraceFile() and WSetTraceCallback() must not
 * run while any other operation of the library runs.
 *
 * The library starts no threads of its own; it calls the trace callback on
 * the thread of the operation that traces.
 *
 * @since 1.0
 */
#ifndef EBD_H
#define EBD_H

#include <stdint.h>

#include "ebd_errors.h"

#ifdef __cplusplus
extern "C" {
#endif

/**
 * @brief Session handle: port number in bits 19..12, pattern 0xEBD00EBD
 * elsewhere; 0 is no session.
 * @since 1.0
 */
typedef uint32_t EBDHandle;

/**
 * @brief Trace callback, registered with WSetTraceCallback().
 *
 * Receives the session's trace handle (the @c tHandle given to WComOpen()) and
 * one whole trace line (at most 255 characters, no line end, valid only during
 * the call). Its result is not used. It is called on the thread of the
 * operation that traces, so sessions on several threads may call it at the
 * same time; the time it takes adds to the operation's.
 * @since 1.0
 */
typedef int32_t (*EBDTraceCallback)(uint32_t traceHandle, const char* line);

/* ---- Sessions, last error, trace ------------------------------------------ */
/**
 * @brief Resets the port table and the time base.
 *
 * Forgets every session: each port's entry loses its port, trace handle, last
 * error, dual-band mode, stored-calibration mask and gain-code table. A port
 * still open from an earlier session is closed first, without a byte to its
 * module, so that it can be opened again. Trace times count from here. Call
 * it once before any other operation.
 *
 * @par Errors
 * None; it clears every last error.
 * @par Blocking
 * Does not wait for any module.
 * @par Trace
 * None.
 * @par Threads
 * Must not run while any other operation of the library runs.
 * @see WComOpen()
 * @since 1.0
 */
void WInitLibrary(void);
/**
 * @brief Opens a session on serial port COM @p portNum.
 *
 * Writes the trace header (start time, library version, source revisions),
 * opens the port for exclusive use with the protocol's line settings (8 data
 * bits, no parity, 2 stop bits, no flow control), drains pending input and
 * resets the port's per-session state (version query, stored-calibration
 * mask, stored IQ offsets, the exit records of every port). On Linux COMn is
 * the device that the environment variable EBD_COMn names (for example
 * EBD_COM1=/dev/ttyUSB0), else the port map of the settings file, else
 * /dev/ttyS(n-1).
 *
 * @param[in] portNum  Port number 1 to 32; 0 means 1.
 * @param[in] baudRate Baud rate in bit/s; 0 means 115200. The read time-outs
 *                     are derived from it.
 * @param[in] tHandle  Caller's trace token: 0 traces to the trace file, any
 *                     other value hands the session's lines to the trace
 *                     callback together with this value.
 * @return The session handle (port << 12 | 0xEBD00EBD, for example 0xEBD01EBD
 *         for port 1), or 0 when no session was opened.
 * @par Errors
 * On 0 the reason is the last error of the port it tried, which
 * WGetLastError(EBD_PORT_HANDLE(portNum)) reads (the handle
 * (@p portNum << 12) | 0xEBD00EBD; pass 1 for a @p portNum of 0):
 * EBD_ERR_PORT_IN_USE (3) when the port already has a session (that session's
 * last error then reads 3 too), EBD_ERR_PORT_OPEN (4) when the port does not
 * exist, is held by another program or cannot be set up. A port number above
 * 32 fails with the trace line "bad port N, error 3" and stores nothing, since
 * no entry exists for it.
 * @par Blocking
 * At most 1 s: the port open and the drain of pending input; no module is
 * asked anything.
 * @par Trace
 * Yes: the header, the call and its outcome, by the route @p tHandle selects.
 * @see WComClose(), WGetLastError(), WInitLibrary()
 * @since 1.0
 */
EBDHandle WComOpen(int32_t portNum, int32_t baudRate, uint32_t tHandle);
/**
 * @brief Ends a session and closes its port.
 *
 * Shows what is left of unconsumed input in the trace, drops the messages
 * still queued, discards the port's pending input and output, closes the port
 * and frees the entry for a new WComOpen(). Nothing is sent to the module.
 * A valid handle whose port is not open (closed before, or forgotten by
 * WInitLibrary()) is accepted: the port steps are left out.
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 for a valid handle, 0 for an invalid one.
 * @par Errors
 * None stored.
 * @par Blocking
 * Does not wait for the module; returns within 1 s.
 * @par Trace
 * Yes, by the session's route, before its trace handle is cleared.
 * @see WComOpen()
 * @since 1.0
 */
int32_t WComClose(EBDHandle handle);
/**
 * @brief Returns the port's last error.
 *
 * The code the latest failure on the port stored; reading it does not clear
 * it, and successful operations do not clear it either.
 *
 * @param[in] handle Session handle from WComOpen(), or
 *                   EBD_PORT_HANDLE(portNum) to learn why a WComOpen() of
 *                   that port failed.
 * @return The 16-bit code (see WGetErrorText()); EBD_ERR_INVALID_HANDLE (10)
 *         for an invalid handle.
 * @par Errors
 * None stored.
 * @par Blocking
 * Does not block.
 * @par Trace
 * Yes: "(EBD ) WGetLastError: error N" (not for an invalid handle).
 * @see WGetErrorText(), WComOpen()
 * @since 1.0
 */
uint16_t WGetLastError(EBDHandle handle);
/**
 * @brief Turns the trace file on.
 *
 * Lines of sessions without a trace callback route are then appended to
 * tracefiles/tracefile.txt below the working directory, as
 * "[ssss.mmm] line" with the time since WInitLibrary(). The file is never
 * truncated; a line that cannot be written is lost without notice. Off when
 * the library is loaded.
 *
 * @par Blocking
 * Does not block.
 * @par Threads
 * Must not run while any other operation of the library runs.
 * @see WDisableTraceFile(), WSetTraceCallback()
 * @since 1.0
 */
void WEnableTraceFile(void);
/**
 * @brief Turns the trace file off; lines without a callback route are dropped.
 *
 * @par Blocking
 * Does not block.
 * @par Threads
 * Must not run while any other operation of the library runs.
 * @see WEnableTraceFile()
 * @since 1.0
 */
void WDisableTraceFile(void);
/**
 * @brief Registers the trace callback for sessions opened with a non-zero
 * trace handle.
 *
 * @param[in] callback Function that receives every trace line of those
 *                     sessions, or NULL to unregister (their lines then go to
 *                     the trace file route). It must stay callable until it
 *                     is unregistered.
 * @par Blocking
 * Does not block.
 * @par Threads
 * Must not run while any other operation of the library runs.
 * @see EBDTraceCallback, WComOpen()
 * @since 1.0
 */
void WSetTraceCallback(EBDTraceCallback callback);

/* ---- Operation modes ------------------------------------------------------ */
/**
 * @brief Brings the module into service mode (operation mode 1).
 *
 * Finds out what the port speaks; a module that answers nothing is powered
 * on through its bootloader (DTR as ignition, 57600 baud), a port in AT mode
 * is switched with "at^xqwe=1" and the library waits for NOMI. Then it reads
 * the firmware's operation mode and sets 1 when it differs. This is the first
 * step of the autostart workflow.
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 when the module speaks NOMI and is in service mode, 0 on failure.
 * @par Errors
 * The mode query or change failed: the remote-call code (EBD_ERR_NOT_SENT,
 * EBD_ERR_NO_CONFIRM, EBD_ERR_BAD_REFERENCE, also when the firmware refuses
 * the mode, EBD_ERR_STATUS). The switch to NOMI failed (no module, the boot
 * failed, "at^xqwe=1" not answered): 0 with no code stored, so
 * WGetLastError() still reads what an earlier call left; the trace shows
 * "SwitchSerialToNomiMode fails".
 * @par Blocking
 * At most 4 s (measured: a module in NOMI 0.15 s, in AT mode 0.5 s, a
 * switched-off module booted 1.8 s, a module that answers each request just
 * inside the 1 s wait 3.1 s).
 * @par Trace
 * Yes.
 * @see WInitNormalMode(), WSwitchJavaAutoStart(), WSwitchOff()
 * @since 1.0
 */
int32_t WInitServiceMode(EBDHandle handle);
/**
 * @brief Brings the module into normal mode (operation mode 0).
 *
 * As WInitServiceMode(), but a module that answers nothing is powered on
 * plainly (DTR raised until it answers), and the mode set is 0.
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 when the module speaks NOMI and is in normal mode, 0 on failure.
 * @par Errors
 * As WInitServiceMode(): remote-call codes from the mode query or change; a
 * failed switch to NOMI stores no code.
 * @par Blocking
 * At most 6 s (a silent module: 20 detections 100 ms apart while the
 * ignition is held).
 * @par Trace
 * Yes.
 * @see WInitServiceMode()
 * @since 1.0
 */
int32_t WInitNormalMode(EBDHandle handle);
/**
 * @brief Brings the module into test mode (operation mode 2), where the
 * firmware carries out radio tests and measurements.
 *
 * As WInitNormalMode(), with mode 2.
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 when the module speaks NOMI and is in test mode, 0 on failure.
 * @par Errors
 * As WInitServiceMode(): remote-call codes from the mode query or change; a
 * failed switch to NOMI stores no code.
 * @par Blocking
 * At most 6 s.
 * @par Trace
 * Yes.
 * @see WInitServiceMode(), WSwitchOff()
 * @since 1.0
 */
int32_t WInitTestMode(EBDHandle handle);
/**
 * @brief Brings the module into airplane mode (operation mode 4).
 *
 * As WInitNormalMode(), with mode 4.
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 when the module speaks NOMI and is in airplane mode, 0 on failure.
 * @par Errors
 * As WInitServiceMode(): remote-call codes from the mode query or change; a
 * failed switch to NOMI stores no code.
 * @par Blocking
 * At most 6 s.
 * @par Trace
 * Yes.
 * @see WInitServiceMode()
 * @since 1.0
 */
int32_t WInitAirplaneMode(EBDHandle handle);
/**
 * @brief Traces its call and returns 1; sends nothing and changes nothing.
 *
 * Kept for hosts that pair it with WInitServiceMode(); the module stays in
 * its mode until another mode entry or WSwitchOff().
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 for a valid handle (also with no module attached), 0 otherwise.
 * @par Blocking
 * Does not block.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WExitServiceMode(EBDHandle handle);

/* ---- Version information -------------------------------------------------- */
/**
 * @brief Gives the module's bootloader text of this session.
 *
 * The first remote call of a session asks the module for its version text
 * and keeps its "Bln-Bootloader" item (at most 24 characters); this
 * operation hands it out. It makes no remote call itself. A module whose
 * version text holds no bootloader item gives an empty text; the text of an
 * earlier session never reaches a later one.
 *
 * @param[in]  handle Session handle from WComOpen().
 * @param[out] text   Caller's area of 25 bytes; receives a NUL-terminated
 *                    text. On failure all 25 bytes are set to zero (when
 *                    @p text is not NULL).
 * @return 1 when the session's version query has been made, 0 before it, for
 *         an invalid handle or a NULL @p text.
 * @par Errors
 * None stored.
 * @par Blocking
 * Does not block.
 * @par Trace
 * None.
 * @since 1.0
 */
int32_t WGetBootloaderInfo(EBDHandle handle, char* text);

/* ---- Java autostart, switch-off, AT commands ------------------------------ */
/**
 * @brief Switches the module's Java autostart on or off.
 *
 * Remote call 107 with the low 8 bits of @p onOff: 0 switches the autostart
 * off, so do 256, 512 and every other multiple of 256. The module keeps the
 * setting across power cycles; the library keeps no copy.
 *
 * @param[in] handle Session handle from WComOpen().
 * @param[in] onOff  Only bits 7..0 reach the module: 0 off, 1 on; what other
 *                   byte values mean is the firmware's.
 * @return 1 when the firmware accepted the request, 0 on failure.
 * @par Errors
 * EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM, EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS
 * (the firmware refused).
 * @par Mode
 * NOMI, service mode (WInitServiceMode()).
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WInitServiceMode(), WSwitchOff()
 * @since 1.0
 */
int32_t WSwitchJavaAutoStart(EBDHandle handle, int32_t onOff);
/**
 * @brief Switches the module off and waits until it falls silent.
 *
 * Reads the operation mode first: in normal mode it hangs up ("ATH") and
 * detaches ("AT+CGATT=0"), in test mode (firmware version 136 or later) it
 * finishes test mode. Then it sends the switch-off request and waits, with
 * raw detections 100 ms apart, until the module answers nothing; up to five
 * requests. Later mode entries power the module on again.
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 when the module fell silent, 0 on failure.
 * @par Errors
 * A failed mode query, test-mode finish or switch-off request stores its
 * remote-call code (EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS). A module that keeps answering after
 * five requests gives 0 with no code stored ("target not switched off!?" in
 * the trace). The results of "ATH" and "AT+CGATT=0" do not count, but a
 * failing one leaves its code.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 19 s (a module that never switches off: five requests, each
 * followed by 20 detections).
 * @par Trace
 * Yes.
 * @see WInitServiceMode()
 * @since 1.0
 */
int32_t WSwitchOff(EBDHandle handle);
/**
 * @brief Sends an AT command to the module through the remote channel.
 *
 * The library appends the carriage return. With a @p response area it waits
 * for the module's answer; with NULL it returns as soon as the module has
 * confirmed the command.
 *
 * @param[in]  handle   Session handle from WComOpen().
 * @param[in]  command  NUL-terminated command without the final carriage
 *                      return, at most 126 characters.
 * @param[out] response NULL, or the caller's area of 513 characters: receives
 *                      the answer (at most 128 characters) with each carriage
 *                      return written as "<CR>" and each line feed as "<LF>",
 *                      NUL-terminated.
 * @return 1 when the command was delivered (and, with @p response, the
 *         answer arrived), 0 on failure.
 * @par Errors
 * Remote-call codes (EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS, EBD_ERR_NO_MEMORY). A @p command
 * longer than 126 characters (checked before the handle) or NULL gives 0
 * with no code stored and nothing sent.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 6 s with @p response, 3 s without.
 * @par Trace
 * Yes.
 * @see WReceiveAtCommand(), WSendAtCommandAndWait()
 * @since 1.0
 */
int32_t WSendAtCommand(EBDHandle handle, const char* command, char* response);
/**
 * @brief Receives one further answer to an AT command sent before.
 *
 * @param[in]     handle   Session handle from WComOpen().
 * @param[in,out] response The caller's area of 513 characters: receives the
 *                         answer as WSendAtCommand() writes it; keeps its
 *                         contents on failure.
 * @return 1 when an answer arrived, 0 on failure.
 * @par Errors
 * Remote-call codes (EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS).
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 1 s (one receive wait; no version query).
 * @par Trace
 * Yes.
 * @see WSendAtCommand()
 * @since 1.0
 */
int32_t WReceiveAtCommand(EBDHandle handle, char* response);
/**
 * @brief Sends an AT command and waits until its answer contains a text.
 *
 * Sends @p command with WSendAtCommand(), then receives further answers with
 * WReceiveAtCommand(), one per second asked for, until the answer contains
 * @p expected or "ERROR" (plain substring search).
 *
 * @param[in] handle      Session handle from WComOpen().
 * @param[in] command     NUL-terminated command, at most 126 characters.
 * @param[in] expected    NUL-terminated text that marks success, for example
 *                        "OK".
 * @param[in] waitSeconds Number of further receive attempts, 0 to 255; each
 *                        waits up to about 1 s.
 * @return 1 when the answer contains @p expected and the last send or receive
 *         succeeded, 0 otherwise (also for an answer with "ERROR" only).
 * @par Errors
 * The code of the last failed remote call, if any; an answer without
 * @p expected stores none.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 6 s + @p waitSeconds s (measured 260 s for 255).
 * @par Trace
 * Yes.
 * @see WSendAtCommand()
 * @since 1.0
 */
int32_t WSendAtCommandAndWait(EBDHandle handle, const char* command, const char* expected,
                              uint8_t waitSeconds);
/**
 * @brief Dials a circuit-switched call ("ATD" number ";").
 *
 * Sleeps 2 s (after a location update the module needs them), then sends the
 * dial command and waits for "OK" with 5 further receive attempts.
 *
 * @param[in] handle Session handle from WComOpen().
 * @param[in] number NUL-terminated number to dial; at most 122 characters
 *                   make a command that fits (longer ones up to 251 fail in
 *                   WSendAtCommand()).
 * @return 1 when the module answered "OK", 0 otherwise.
 * @par Errors
 * A @p number over 251 characters stores its length (cut to 16 bits) as the
 * code; otherwise as WSendAtCommandAndWait().
 * @par Mode
 * NOMI, normal mode with the module registered in a network.
 * @par Blocking
 * At most 13 s (the 2 s pause included).
 * @par Trace
 * Yes.
 * @see WStartGPRSAttach()
 * @since 1.0
 */
int32_t WStartCircuitSwitchedCall(EBDHandle handle, const char* number);
/**
 * @brief Attaches the module to the packet domain ("AT+CGATT=1").
 *
 * Sleeps 2 s, then sends the command and waits for "OK" with 5 further
 * receive attempts.
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 when the module answered "OK", 0 otherwise.
 * @par Errors
 * As WSendAtCommandAndWait().
 * @par Mode
 * NOMI, normal mode.
 * @par Blocking
 * At most 13 s (the 2 s pause included).
 * @par Trace
 * Yes.
 * @see WStartCircuitSwitchedCall()
 * @since 1.0
 */
int32_t WStartGPRSAttach(EBDHandle handle);
/**
 * @brief Accepts two time-outs and returns 1; sends nothing and keeps nothing.
 *
 * @param[in] handle   Session handle from WComOpen().
 * @param[in] timeout1 Accepted for the interface's sake only.
 * @param[in] timeout2 Accepted for the interface's sake only.
 * @return 1 for a valid handle, 0 otherwise.
 * @par Blocking
 * Does not block.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WprepareNetworkRegistration(EBDHandle handle, uint16_t timeout1, uint16_t timeout2);

/* ---- Radio test, measurement, identity and security ---------------------- */
/* Bands are numbered 0 to 3; the port's dual-band mode (WSetCurrentDualBandMode)
 * permits one band of {0, 3} and one of {1, 2}. Truth values are int32_t. */
/**
 * @brief Sets the AFC DAC value of the module's oscillator.
 *
 * @param[in] handle Session handle from WComOpen().
 * @param[in] value  AFC DAC value, passed to the firmware unchanged.
 * @return 1 when the module accepted it, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WSetAFCAndMeasure()
 * @since 1.0
 */
int32_t WSetAFC(EBDHandle handle, uint16_t value);
/**
 * @brief Sets the AFC DAC value and measures the frequency offset on a
 * channel.
 *
 * @param[in]  handle           Session handle from WComOpen().
 * @param[in]  arfcn            Channel number (ARFCN) to measure on.
 * @param[in]  value            AFC DAC value.
 * @param[out] pFrequencyOffset Receives the measured offset in Hz (signed);
 *                              written whenever the remote call succeeds,
 *                              also when the burst status fails.
 * @return 1 when the module found the frequency burst (status 1 or 2), 0
 *         otherwise.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS; EBD_ERR_FREQUENCY_BURST (16) when
 * the module reports another frequency-burst status.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes, with the status and the offset.
 * @since 1.0
 */
int32_t WSetAFCAndMeasure(EBDHandle handle, uint16_t arfcn, uint16_t value, int16_t* pFrequencyOffset);
/**
 * @brief Writes a receiver gain program word for a band and gain index.
 *
 * @param[in] handle          Session handle from WComOpen().
 * @param[in] gainProgramWord The gain program word.
 * @param[in] band            Band 0 to 3, permitted by the dual-band mode.
 * @param[in] gainIndex       Gain index, passed to the firmware.
 * @return 1 when the module accepted it, 0 on failure.
 * @par Errors
 * EBD_ERR_INVALID_BAND (12) before anything is sent; remote-call codes
 * EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM, EBD_ERR_BAD_REFERENCE,
 * EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WGetGainProgramWord(), WSetCurrentDualBandMode()
 * @since 1.0
 */
int32_t WSetGainProgramWord(EBDHandle handle, uint16_t gainProgramWord, uint8_t band, uint8_t gainIndex);
/**
 * @brief Reads the receiver gain program word of a band and gain index.
 *
 * @param[in]  handle           Session handle from WComOpen().
 * @param[in]  gainIndex        Gain index.
 * @param[in]  band             Band 0 to 3, permitted by the dual-band mode.
 * @param[out] pGainProgramWord Receives the word; written on success only.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * EBD_ERR_INVALID_BAND (12) before anything is sent; remote-call codes
 * EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM, EBD_ERR_BAD_REFERENCE,
 * EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WSetGainProgramWord()
 * @since 1.0
 */
int32_t WGetGainProgramWord(EBDHandle handle, uint8_t gainIndex, uint8_t band, uint16_t* pGainProgramWord);
/**
 * @brief Writes the accurate gain value of a band and gain index.
 *
 * @param[in] handle        Session handle from WComOpen().
 * @param[in] accurateValue The accurate value.
 * @param[in] band          Band 0 to 3, permitted by the dual-band mode.
 * @param[in] gainIndex     Gain index.
 * @return 1 when the module accepted it, 0 on failure.
 * @par Errors
 * EBD_ERR_INVALID_BAND (12) before anything is sent; remote-call codes
 * EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM, EBD_ERR_BAD_REFERENCE,
 * EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WSetAccurateValue(EBDHandle handle, uint16_t accurateValue, uint8_t band, uint8_t gainIndex);
/**
 * @brief Measures the received power on a channel.
 *
 * @param[in]  handle           Session handle from WComOpen().
 * @param[in]  channel          Channel number.
 * @param[in]  gain             Receiver gain.
 * @param[in]  applyAGCTabValue Non-zero: measure with the AGC table applied
 *                              (measurement mode 0); 0: without (mode 1).
 * @param[out] pRssiIn16thdB    Receives the signed RSSI in 1/16 dB; written
 *                              on success only.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WGetPowerValue(EBDHandle handle, uint16_t channel, uint16_t gain, int32_t applyAGCTabValue,
                       int16_t* pRssiIn16thdB);
/**
 * @brief Reads (or measures) the I/Q offsets the module uses.
 *
 * With @p measure non-zero, the first measured Tx offsets of a session are
 * also filed in the calibration store as the autocalibration offsets (item
 * 18), for WWriteAllStoredValuesToModuleNVRAM().
 *
 * @param[in]  handle     Session handle from WComOpen().
 * @param[in]  measure    Non-zero: the module measures the offsets anew.
 * @param[out] pIQOffsets Caller's area of 4 words: rxIOffset, rxQOffset,
 *                        txIOffset, txQOffset; written on success only.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WGetUsedIQOffsetValues(EBDHandle handle, int32_t measure, uint16_t* pIQOffsets);
/**
 * @brief Sets the Tx I and Q offsets in the baseband chip (registers 3 and
 * 4), reading the old and new values back.
 *
 * @param[in] handle    Session handle from WComOpen().
 * @param[in] iTxOffset New I offset.
 * @param[in] qTxOffset New Q offset.
 * @return 1 on success, 0 when the register access failed.
 * @par Errors
 * The codes of WBBCRegister().
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes, with the old and new values.
 * @see WBBCRegister()
 * @since 1.0
 */
int32_t WSetTxOffset(EBDHandle handle, uint8_t iTxOffset, uint8_t qTxOffset);
/**
 * @brief Sets the module's dual-band mode and keeps it for the band checks.
 *
 * Mode 0 permits bands 0 and 1, 1 bands 0 and 2, 2 bands 3 and 1, 3 bands 3
 * and 2; 4 to 255 permit every band. The port keeps the mode until
 * WInitLibrary() (not reset by WComOpen()).
 *
 * @param[in] handle   Session handle from WComOpen().
 * @param[in] bandMode Dual-band mode 0 to 255.
 * @return 1 on success (the mode is then kept), 0 on failure (the kept mode
 *         is unchanged).
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WSetCurrentDualBandMode(EBDHandle handle, uint8_t bandMode);
/**
 * @brief Powers the module's radio on (radio control operation 0).
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WRadioPowerDown()
 * @since 1.0
 */
int32_t WRadioPowerOn(EBDHandle handle);
/**
 * @brief Powers the module's radio down (radio control operation 1).
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WRadioPowerOn()
 * @since 1.0
 */
int32_t WRadioPowerDown(EBDHandle handle);
/**
 * @brief Switches the receiver on (radio control operation 2).
 *
 * @param[in] handle    Session handle from WComOpen().
 * @param[in] parameter Passed to the firmware unchanged.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WRadioReceiverOff()
 * @since 1.0
 */
int32_t WRadioReceiverOn(EBDHandle handle, uint32_t parameter);
/**
 * @brief Switches the receiver off (radio control operation 3).
 *
 * @param[in] handle    Session handle from WComOpen().
 * @param[in] parameter Passed to the firmware unchanged.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WRadioReceiverOn()
 * @since 1.0
 */
int32_t WRadioReceiverOff(EBDHandle handle, uint32_t parameter);
/**
 * @brief Sends a radio telegram (radio control operation 4).
 *
 * @param[in] handle   Session handle from WComOpen().
 * @param[in] telegram The telegram, passed to the firmware unchanged.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WRadioSetInitTelegram()
 * @since 1.0
 */
int32_t WRadioSendTelegram(EBDHandle handle, uint32_t telegram);
/**
 * @brief Sets one of the radio's initialisation telegrams (radio control
 * operation 5).
 *
 * @param[in] handle   Session handle from WComOpen().
 * @param[in] telegram The telegram.
 * @param[in] index    Which initialisation telegram, as the firmware counts.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WRadioSetInitTelegram(EBDHandle handle, uint32_t telegram, uint8_t index);
/**
 * @brief Starts a loopback test on a traffic channel.
 *
 * @param[in] handle     Session handle from WComOpen().
 * @param[in] bch        Broadcast channel number.
 * @param[in] tch        Traffic channel number.
 * @param[in] timeSlot   Time slot 0 to 7.
 * @param[in] tsc        Training sequence code 0 to 7.
 * @param[in] powerLevel Transmit power level.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WChangeLoopback(), WGetLoopbackData(), WStopLoopback()
 * @since 1.0
 */
int32_t WStartLoopback(EBDHandle handle, uint16_t bch, uint16_t tch, uint8_t timeSlot, uint8_t tsc,
                       uint8_t powerLevel);
/**
 * @brief Moves a running loopback test to another traffic channel or slot.
 *
 * @param[in] handle     Session handle from WComOpen().
 * @param[in] tch        Traffic channel number.
 * @param[in] timeSlot   Time slot 0 to 7.
 * @param[in] tsc        Training sequence code 0 to 7.
 * @param[in] powerLevel Transmit power level.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode, a loopback running.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WStartLoopback()
 * @since 1.0
 */
int32_t WChangeLoopback(EBDHandle handle, uint16_t tch, uint8_t timeSlot, uint8_t tsc, uint8_t powerLevel);
/**
 * @brief Stops the loopback test.
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WStartLoopback()
 * @since 1.0
 */
int32_t WStopLoopback(EBDHandle handle);
/**
 * @brief Reads the results of the running loopback test.
 *
 * All five outputs are written on success only.
 *
 * @param[in]  handle             Session handle from WComOpen().
 * @param[out] pTimingOffsetQbits Timing offset in quarter bits (signed).
 * @param[out] pFreqOffsetHz      Frequency offset in Hz (signed).
 * @param[out] pBitErrors         Number of bit errors.
 * @param[out] pSoftDecisionTotal Sum of the soft decisions.
 * @param[out] pRssi              Received signal strength (signed).
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode, a loopback running.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes, with the five values.
 * @see WStartLoopback()
 * @since 1.0
 */
int32_t WGetLoopbackData(EBDHandle handle, int16_t* pTimingOffsetQbits, int16_t* pFreqOffsetHz, uint16_t* pBitErrors,
                         uint16_t* pSoftDecisionTotal, int16_t* pRssi);
/**
 * @brief Starts a constant transmission with an AM loop offset; for a
 * non-zero @p mode also sets the ramp DAC in the baseband chip.
 *
 * For a non-zero @p mode the baseband registers TxControl2 (1) and RampDac
 * (10) are read, then TxControl2 gets bit 7 set and RampDac gets
 * @p rampDacValue.
 *
 * @param[in] handle       Session handle from WComOpen().
 * @param[in] mode         Transmission mode; 0 touches no register.
 * @param[in] channel      Channel number.
 * @param[in] aMLoopOffset AM loop offset, below 64.
 * @param[in] constTxValue Constant transmit value.
 * @param[in] rampDacValue Ramp DAC value, below 1024.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * EBD_ERR_AM_LOOP_OFFSET (13) or EBD_ERR_RAMP_DAC (15) before anything is
 * sent; remote-call codes EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS, also from the register accesses.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 5 s (three remote calls).
 * @par Trace
 * Yes, with the register values before and after.
 * @see WBBCRegister()
 * @since 1.0
 */
int32_t WSetAMLoopOffset(EBDHandle handle, uint8_t mode, uint16_t channel, uint8_t aMLoopOffset,
                         uint16_t constTxValue, uint16_t rampDacValue);
/**
 * @brief Reads and writes up to eight registers of the baseband chip in one
 * call.
 *
 * Entry k (0 to 7) of the arrays is one access, carried out in order 0 to 7;
 * @p readWriteMask holds two bits per entry (bits 2k and 2k+1): 0 no access,
 * 1 write value[k] to address[k], 2 read address[k] into retValues[k]. Mask
 * 0xA5A reads two registers, writes them and reads them again.
 *
 * @param[in]  handle        Session handle from WComOpen().
 * @param[in]  readWriteMask Two bits per entry, as above.
 * @param[in]  address       Caller's array of 8 register addresses.
 * @param[in]  value         Caller's array of 8 values to write.
 * @param[out] retValues     Caller's array of 8 words; receives the values
 *                           read (entries without a read are not
 *                           significant); written on success only.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes, with hex dumps of the three arrays.
 * @since 1.0
 */
int32_t WBBCRegister(EBDHandle handle, uint16_t readWriteMask, const uint16_t* address, const uint16_t* value,
                     uint16_t* retValues);
/**
 * @brief Reads the serial number of the module's flash memory.
 *
 * @param[in]  handle        Session handle from WComOpen().
 * @param[out] pSerialNumber Receives the 4 bytes as a little-endian number.
 * @param[out] pBytes        Caller's area of 4 bytes; receives them as the
 *                           module sent them.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WGetFlashSerialNumber(EBDHandle handle, uint32_t* pSerialNumber, uint8_t* pBytes);
/**
 * @brief Reads one information element (IE) of the module.
 *
 * @param[in]     handle Session handle from WComOpen().
 * @param[in,out] pIe    The IE code on entry, the IE value on return.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS (a confirm too short);
 * EBD_ERR_IDENTITY_BASE + s when the module refuses with status s.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WGetSingleIE(EBDHandle handle, uint16_t* pIe);
/**
 * @brief Resets the module's IMEI mode (mode byte 0).
 *
 * @param[in]  handle  Session handle from WComOpen().
 * @param[out] pResult Receives the mode byte the module returns.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS (a confirm too short);
 * EBD_ERR_IDENTITY_BASE + s when the module refuses with status s.
 * @par Mode
 * NOMI, service mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WSetCustomerIMEIMode()
 * @since 1.0
 */
int32_t WResetIMEIMode(EBDHandle handle, uint8_t* pResult);
/**
 * @brief Sets the module's customer IMEI mode (mode byte 1).
 *
 * @param[in]  handle  Session handle from WComOpen().
 * @param[out] pResult Receives the mode byte the module returns.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS (a confirm too short);
 * EBD_ERR_IDENTITY_BASE + s when the module refuses with status s.
 * @par Mode
 * NOMI, service mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WResetIMEIMode()
 * @since 1.0
 */
int32_t WSetCustomerIMEIMode(EBDHandle handle, uint8_t* pResult);
/**
 * @brief Reads the module's serial number.
 *
 * @param[in]  handle       Session handle from WComOpen().
 * @param[out] serialNumber Caller's area of 8 bytes.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS (a confirm too short);
 * EBD_ERR_IDENTITY_BASE + s when the module refuses with status s.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WReadSerialNumber(EBDHandle handle, uint8_t* serialNumber);
/**
 * @brief Reads the module's IMEI.
 *
 * @param[in]  handle Session handle from WComOpen().
 * @param[out] imei   Caller's area of 8 bytes, as the module stores it.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS (a confirm too short);
 * EBD_ERR_IDENTITY_BASE + s when the module refuses with status s.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WFreezeIMEI()
 * @since 1.0
 */
int32_t WReadIMEI(EBDHandle handle, uint8_t* imei);
/**
 * @brief Initialises the module's IMEI store.
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS (a confirm too short);
 * EBD_ERR_IDENTITY_BASE + s when the module refuses with status s.
 * @par Mode
 * NOMI, service mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WFreezeIMEI()
 * @since 1.0
 */
int32_t WInitIMEI(EBDHandle handle);
/**
 * @brief Writes the IMEI into the module for good.
 *
 * @warning Irreversible: once frozen, the module's IMEI cannot be changed
 * again. The library does not check the digits; pass exactly the IMEI meant
 * for this module.
 *
 * @param[in] handle Session handle from WComOpen().
 * @param[in] imei   Caller's area of 8 bytes, the IMEI in the module's
 *                   format.
 * @return 1 when the module froze the IMEI, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS (a confirm too short);
 * EBD_ERR_IDENTITY_BASE + s when the module refuses with status s.
 * @par Mode
 * NOMI, service mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WReadIMEI(), WInitIMEI()
 * @since 1.0
 */
int32_t WFreezeIMEI(EBDHandle handle, const uint8_t* imei);
/**
 * @brief Sets the module's security mode.
 *
 * @warning A security mode may lock the module's service access until the
 * challenge and response exchange (WRequestChallenge(), WSendResponse())
 * opens it again; what each mode does is the firmware's.
 *
 * @param[in]     handle            Session handle from WComOpen().
 * @param[in,out] pMode             The mode to set on entry; the mode the
 *                                  module reports on return.
 * @param[in]     securityParameter Passed to the firmware unchanged.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS (a confirm too short);
 * EBD_ERR_IDENTITY_BASE + s when the module refuses with status s.
 * @par Mode
 * NOMI, service mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WSetSecurityMode(EBDHandle handle, uint16_t* pMode, uint32_t securityParameter);
/**
 * @brief Asks the module for an authentication challenge.
 *
 * @param[in]  handle    Session handle from WComOpen().
 * @param[out] challenge Caller's area of 8 bytes.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS (a confirm too short);
 * EBD_ERR_IDENTITY_BASE + s when the module refuses with status s.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WSendResponse()
 * @since 1.0
 */
int32_t WRequestChallenge(EBDHandle handle, uint8_t* challenge);
/**
 * @brief Sends the response to a challenge of WRequestChallenge().
 *
 * @param[in] handle        Session handle from WComOpen().
 * @param[in] responseBlock Caller's area of 64 bytes.
 * @return 1 when the module accepted the response, 0 otherwise.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS (a confirm too short);
 * EBD_ERR_IDENTITY_BASE + s when the module refuses with status s.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WRequestChallenge()
 * @since 1.0
 */
int32_t WSendResponse(EBDHandle handle, const uint8_t* responseBlock);
/**
 * @brief Reads the module's mobile information block.
 *
 * @param[in]  handle Session handle from WComOpen().
 * @param[out] info   Caller's area of 17 bytes.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS (a confirm too short);
 * EBD_ERR_IDENTITY_BASE + s when the module refuses with status s.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WGetMobileInformation(EBDHandle handle, uint8_t* info);
/**
 * @brief Fetches the gain codes of a band and gain index into the port's
 * table (up to 16), for WGetNextGainCode().
 *
 * @param[in] handle    Session handle from WComOpen().
 * @param[in] band      Band, passed to the firmware.
 * @param[in] gainIndex Gain index, passed to the firmware.
 * @return 1 on success (the table restarts at its first code), 0 on failure
 *         (the table is unchanged).
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS, EBD_ERR_NO_MEMORY.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WGetNextGainCode()
 * @since 1.0
 */
int32_t WInitGainCodeTemplates(EBDHandle handle, uint8_t band, uint8_t gainIndex);
/**
 * @brief Hands out the next code of the port's gain-code table.
 *
 * @param[in]  handle    Session handle from WComOpen().
 * @param[out] pGainCode Receives the code.
 * @return 1 with a code, 0 when the table is used up (or empty).
 * @par Errors
 * None stored, also when the table is used up.
 * @par Blocking
 * Does not block; sends nothing.
 * @par Trace
 * Yes.
 * @see WInitGainCodeTemplates()
 * @since 1.0
 */
int32_t WGetNextGainCode(EBDHandle handle, uint16_t* pGainCode);
/**
 * @brief Sets the transmitter's precharge value.
 *
 * @param[in] handle Session handle from WComOpen().
 * @param[in] value  Precharge value, passed to the firmware unchanged.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WSetPrechargeValue(EBDHandle handle, uint16_t value);
/**
 * @brief Gives the table positions of the receiver gain table's measuring
 * points: {3, 4, 15}.
 *
 * Nothing is sent to the module; the handle is not checked and only routes
 * the trace line.
 *
 * @param[in]     handle     Session handle; routes the trace.
 * @param[in]     ignored    Not used.
 * @param[in,out] indexArray Caller's area of 3 words: traced on entry, set to
 *                           3, 4 and 15 on return.
 * @return 1; 0 for a NULL @p indexArray.
 * @par Errors
 * None stored.
 * @par Blocking
 * Does not block.
 * @par Trace
 * Yes, when the handle is valid.
 * @see WSendGwRssiMPoints()
 * @since 1.0
 */
int32_t WGetGwIndexArray(EBDHandle handle, uint32_t ignored, uint16_t* indexArray);
/**
 * @brief Derives a 26-entry receiver gain table from two measuring points.
 *
 * Point 0 sits at table position 4, point 1 at position 15; the other
 * entries step the gain (the low six bits of a gain word) by 2 per position,
 * kept within 0 to 45, with the RSSI corrected by 32 per step that had to be
 * cut. Nothing is sent to the module; the handle is not checked and only
 * routes the trace lines.
 *
 * @param[in]  handle         Session handle; routes the trace.
 * @param[in]  gainWord       Caller's area of 2 gain words, the points.
 * @param[in]  rssi           Caller's area of 2 RSSI values of the points.
 * @param[out] gainWordResult Caller's area of 26 words.
 * @param[out] rssiResult     Caller's area of 26 signed words.
 * @return 1; 0 when an area is NULL.
 * @par Errors
 * None stored.
 * @par Blocking
 * Does not block.
 * @par Trace
 * Yes, when the handle is valid.
 * @see WGetGwIndexArray(), WOrreryStoreCalibrationDataAGCGainWords()
 * @since 1.0
 */
int32_t WSendGwRssiMPoints(EBDHandle handle, const uint16_t* gainWord, const int16_t* rssi, uint16_t* gainWordResult,
                           int16_t* rssiResult);
/**
 * @brief Gives the exit records the module reported when its firmware
 * stopped ("EXIT" reports in its output).
 *
 * The library keeps up to three records per port, each four 32-bit
 * little-endian words (16 bytes), and clears them at every WComOpen() (of
 * any port). Pending input is examined first.
 *
 * @param[in]  handle   Session handle from WComOpen().
 * @param[in]  maxBytes Size of @p pData in bytes.
 * @param[out] pCount   Receives the number of records kept, 0 to 3.
 * @param[out] pData    Caller's area of @p maxBytes bytes; receives the first
 *                      min(@p maxBytes, 16 * count) bytes of the records.
 * @return 1 on success, 0 for an invalid handle or NULL outputs.
 * @par Errors
 * EBD_ERR_INVALID_HANDLE (10) is stored for an invalid handle whose port
 * field names a port 1 to 32.
 * @par Blocking
 * Does not wait for the module; at most 1 s.
 * @par Trace
 * Only the unconsumed input it shows.
 * @since 1.0
 */
int32_t WGetExitData(EBDHandle handle, uint8_t maxBytes, uint8_t* pCount, uint8_t* pData);

/* ---- NVRAM items, calibration store, band mode ----------------------------- */
/* Items in the module's NVRAM: user items by user id and key, calibration items
 * by calibration id. Data areas are byte areas of dataSize bytes; a required
 * pointer that is NULL gives 0 at once, without a trace line. The read
 * operations return in *pBytesRead the item's length as the module reports it,
 * which may exceed dataSize; at most dataSize bytes are copied. */
/**
 * @brief Reads a user item from the module's NVRAM.
 *
 * @param[in]  handle     Session handle from WComOpen().
 * @param[in]  userId     User id of the item.
 * @param[in]  key        Key of the item within the user id.
 * @param[out] pData      Caller's area of @p dataSize bytes; receives at most
 *                        @p dataSize bytes of the item.
 * @param[in]  dataSize   Size of @p pData in bytes.
 * @param[out] pBytesRead Receives the item's length as the module reports
 *                        it, which may exceed @p dataSize.
 * @return 1 on success, 0 on failure (also for a NULL @p pData or
 *         @p pBytesRead, with no code stored and no trace line).
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS, EBD_ERR_NO_MEMORY.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes, with a hex dump of the data read.
 * @see WWriteNVRAMUserItem()
 * @since 1.0
 */
int32_t WReadNVRAMUserItem(EBDHandle handle, uint32_t userId, uint16_t key, uint8_t* pData, uint16_t dataSize,
                           uint16_t* pBytesRead);
/**
 * @brief Writes a user item into the module's NVRAM, replacing one with the
 * same user id and key.
 *
 * @param[in] handle   Session handle from WComOpen().
 * @param[in] userId   User id of the item.
 * @param[in] key      Key of the item within the user id.
 * @param[in] pData    Caller's area of @p dataSize bytes.
 * @param[in] dataSize Length of the item in bytes.
 * @return 1 on success, 0 on failure (also for a NULL @p pData).
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS, EBD_ERR_NO_MEMORY.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 6 s.
 * @par Trace
 * Yes, with a hex dump of the data.
 * @see WReadNVRAMUserItem(), WDeleteNVRAMUserItem()
 * @since 1.0
 */
int32_t WWriteNVRAMUserItem(EBDHandle handle, uint32_t userId, uint16_t key, const uint8_t* pData,
                            uint16_t dataSize);
/**
 * @brief Deletes a user item from the module's NVRAM.
 *
 * @param[in] handle Session handle from WComOpen().
 * @param[in] userId User id of the item.
 * @param[in] key    Key of the item within the user id.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 7 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WDeleteNVRAMUserItem(EBDHandle handle, uint32_t userId, uint16_t key);
/**
 * @brief Erases every user item in the module's NVRAM.
 *
 * @warning Irreversible: all user items of every user id are gone.
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 7 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WEraseAllNVRAMUserItems(EBDHandle handle);
/**
 * @brief Reads a calibration item (id 0 to 255) from the module's NVRAM.
 *
 * @param[in]  handle        Session handle from WComOpen().
 * @param[in]  calibrationId Calibration id.
 * @param[out] pData         Caller's area of @p dataSize bytes.
 * @param[in]  dataSize      Size of @p pData in bytes.
 * @param[out] pBytesRead    Receives the item's length as the module reports
 *                           it, which may exceed @p dataSize.
 * @return 1 on success, 0 on failure (also for NULL outputs).
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS,
 * EBD_ERR_NO_MEMORY.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes, with a hex dump of the data read.
 * @see WReadNVRAMYKCalibrationItem()
 * @since 1.0
 */
int32_t WReadNVRAMCalibrationItem(EBDHandle handle, uint8_t calibrationId, uint8_t* pData, uint16_t dataSize,
                                  uint16_t* pBytesRead);
/**
 * @brief Tells whether a calibration item exists in the module's NVRAM.
 *
 * @param[in]  handle            Session handle from WComOpen().
 * @param[in]  calibrationId     Calibration id.
 * @param[out] pNVRAMBlockExists Receives 1 when the item exists, else 0.
 * @return 1 when the module answered, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS, EBD_ERR_CHECK_STATUS (an unknown
 * status in the confirm).
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WCheckNVRAMCalibrationItem(EBDHandle handle, uint8_t calibrationId, uint8_t* pNVRAMBlockExists);
/**
 * @brief Writes a calibration item into the module's NVRAM.
 *
 * @param[in] handle        Session handle from WComOpen().
 * @param[in] calibrationId Calibration id.
 * @param[in] pData         Caller's area of @p dataSize bytes.
 * @param[in] dataSize      Length of the item in bytes.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS, EBD_ERR_NO_MEMORY. An invalid
 * handle also stores EBD_ERR_INVALID_HANDLE (10) as the last error of the
 * port its port field names (1 to 32).
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 6 s.
 * @par Trace
 * Yes, with a hex dump of the data.
 * @see WWriteAllStoredValuesToModuleNVRAM()
 * @since 1.0
 */
int32_t WWriteNVRAMCalibrationItem(EBDHandle handle, uint8_t calibrationId, const uint8_t* pData,
                                   uint16_t dataSize);
/**
 * @brief Erases every calibration item in the module's NVRAM.
 *
 * @warning Irreversible: the module loses its calibration until it is
 * written again. WWriteAllStoredValuesToModuleNVRAM() rescues the items it
 * does not replace; this operation rescues nothing.
 *
 * @param[in] handle Session handle from WComOpen().
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 7 s.
 * @par Trace
 * Yes.
 * @see WSaveAllOtherNVRAMCalibrationItems()
 * @since 1.0
 */
int32_t WEraseAllNVRAMCalibrationItems(EBDHandle handle);
/**
 * @brief Asks the module to save its calibration items from @p lastCalItem
 * on, so that they survive an erase of all calibration items.
 *
 * @param[in] handle      Session handle from WComOpen().
 * @param[in] lastCalItem First calibration id the module saves (the library
 *                        itself passes 19).
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 7 s.
 * @par Trace
 * Yes.
 * @see WRestoreAllOtherNVRAMCalibrationItems()
 * @since 1.0
 */
int32_t WSaveAllOtherNVRAMCalibrationItems(EBDHandle handle, uint16_t lastCalItem);
/**
 * @brief Asks the module to restore the calibration items that
 * WSaveAllOtherNVRAMCalibrationItems() saved.
 *
 * @param[in] handle      Session handle from WComOpen().
 * @param[in] lastCalItem The value given to the save.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 7 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WRestoreAllOtherNVRAMCalibrationItems(EBDHandle handle, uint16_t lastCalItem);
/* 16-bit calibration ids: ids below 256 go to the operations above. */
/**
 * @brief WCheckNVRAMCalibrationItem() for 16-bit calibration ids.
 *
 * Ids below 256 are handed to WCheckNVRAMCalibrationItem().
 *
 * @param[in]  handle            Session handle from WComOpen().
 * @param[in]  calibrationId     Calibration id 0 to 65535.
 * @param[out] pNVRAMBlockExists Receives 1 when the item exists, else 0.
 * @return 1 when the module answered, 0 on failure.
 * @par Errors
 * As WCheckNVRAMCalibrationItem().
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WCheckNVRAMYKCalibrationItem(EBDHandle handle, uint16_t calibrationId, uint8_t* pNVRAMBlockExists);
/**
 * @brief WReadNVRAMCalibrationItem() for 16-bit calibration ids.
 *
 * Ids below 256 are handed to WReadNVRAMCalibrationItem().
 *
 * @param[in]  handle        Session handle from WComOpen().
 * @param[in]  calibrationId Calibration id 0 to 65535.
 * @param[out] pData         Caller's area of @p dataSize bytes.
 * @param[in]  dataSize      Size of @p pData in bytes.
 * @param[out] pBytesRead    Receives the item's length as the module reports
 *                           it.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * As WReadNVRAMCalibrationItem().
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WReadNVRAMYKCalibrationItem(EBDHandle handle, uint16_t calibrationId, uint8_t* pData, uint16_t dataSize,
                                    uint16_t* pBytesRead);
/**
 * @brief WWriteNVRAMCalibrationItem() for 16-bit calibration ids.
 *
 * Ids below 256 are handed to WWriteNVRAMCalibrationItem().
 *
 * @param[in] handle        Session handle from WComOpen().
 * @param[in] calibrationId Calibration id 0 to 65535.
 * @param[in] pData         Caller's area of @p dataSize bytes.
 * @param[in] dataSize      Length of the item in bytes.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * As WWriteNVRAMCalibrationItem().
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 6 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WWriteNVRAMYKCalibrationItem(EBDHandle handle, uint16_t calibrationId, const uint8_t* pData,
                                     uint16_t dataSize);

/* Calibration store: each operation files a measured value into the port's
 * calibration record and marks the item; nothing is sent to the module until
 * WWriteAllStoredValuesToModuleNVRAM. Bands 0 to 3 (else error 12),
 * modulation 0 GMSK or 1 8PSK (else error 14). */
/**
 * @brief Files the AFC slope and nominal value into the calibration store
 * (item 2).
 *
 * Nothing is sent until WWriteAllStoredValuesToModuleNVRAM(); the store
 * belongs to the port number and outlives the session.
 *
 * @param[in] handle       Session handle from WComOpen().
 * @param[in] slope        AFC slope.
 * @param[in] nominalValue Nominal AFC DAC value.
 * @return 1 on success, 0 for an invalid handle.
 * @par Errors
 * None stored.
 * @par Blocking
 * Does not block; sends nothing.
 * @par Trace
 * Yes, with the stored-items mask.
 * @see WWriteAllStoredValuesToModuleNVRAM()
 * @since 1.0
 */
int32_t WOrreryStoreCalibrationDataAFC(EBDHandle handle, uint32_t slope, uint16_t nominalValue);
/**
 * @brief Files the Tx I/Q offsets of a band into the calibration store
 * (item 6).
 *
 * An 8PSK pair is stored for both modulations; a GMSK pair only while the
 * band's GMSK pair is unfilled in this session (the first GMSK value wins,
 * an 8PSK value always does).
 *
 * @param[in] handle     Session handle from WComOpen().
 * @param[in] band       Band 0 to 3.
 * @param[in] modulation 0 GMSK, 1 8PSK.
 * @param[in] txIOffset  I offset.
 * @param[in] txQOffset  Q offset.
 * @return 1 on success (also when a GMSK value is skipped), 0 on failure.
 * @par Errors
 * EBD_ERR_MODULATION (14), then EBD_ERR_INVALID_BAND (12); nothing is stored.
 * @par Blocking
 * Does not block; sends nothing.
 * @par Trace
 * Yes.
 * @see WWriteAllStoredValuesToModuleNVRAM()
 * @since 1.0
 */
int32_t WOrreryStoreCalibrationDataTxIQOffsets(EBDHandle handle, uint8_t band, uint8_t modulation,
                                               uint8_t txIOffset, uint8_t txQOffset);
/**
 * @brief Files the 32 scaling factors of a band and modulation into the
 * calibration store (item 3 for GMSK, 4 for 8PSK).
 *
 * @param[in] handle             Session handle from WComOpen().
 * @param[in] band               Band 0 to 3.
 * @param[in] modulation         0 GMSK, 1 8PSK.
 * @param[in] scalingFactorArray Caller's area of 32 words.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * EBD_ERR_MODULATION (14), then EBD_ERR_INVALID_BAND (12); nothing is stored.
 * @par Blocking
 * Does not block; sends nothing.
 * @par Trace
 * Yes, with a hex dump of the factors.
 * @see WWriteAllStoredValuesToModuleNVRAM()
 * @since 1.0
 */
int32_t WOrreryStoreCalibrationDataScalingFactors(EBDHandle handle, uint8_t band, uint8_t modulation,
                                                  const uint16_t* scalingFactorArray);
/**
 * @brief Files the AM loop offset of a band into the calibration store
 * (item 5).
 *
 * @param[in] handle            Session handle from WComOpen().
 * @param[in] band              Band 0 to 3.
 * @param[in] aMLoopOffsetValue AM loop offset.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * EBD_ERR_INVALID_BAND (12); nothing is stored.
 * @par Blocking
 * Does not block; sends nothing.
 * @par Trace
 * Yes.
 * @see WWriteAllStoredValuesToModuleNVRAM()
 * @since 1.0
 */
int32_t WOrreryStoreCalibrationDataAMLoopOffsets(EBDHandle handle, uint8_t band, uint8_t aMLoopOffsetValue);
/**
 * @brief Files the 26 AGC gain words of a band into the calibration store
 * (item 0).
 *
 * @param[in] handle              Session handle from WComOpen().
 * @param[in] band                Band 0 to 3.
 * @param[in] agcControlCodeArray Caller's area of 26 words, for example the
 *                                table of WSendGwRssiMPoints().
 * @return 1 on success, 0 on failure.
 * @par Errors
 * EBD_ERR_INVALID_BAND (12); nothing is stored.
 * @par Blocking
 * Does not block; sends nothing.
 * @par Trace
 * Yes, with a hex dump of the words.
 * @see WWriteAllStoredValuesToModuleNVRAM()
 * @since 1.0
 */
int32_t WOrreryStoreCalibrationDataAGCGainWords(EBDHandle handle, uint8_t band, const uint16_t* agcControlCodeArray);
/**
 * @brief Files the 26 AGC accurate values of a band into the calibration
 * store (item 1).
 *
 * @param[in] handle                Session handle from WComOpen().
 * @param[in] band                  Band 0 to 3.
 * @param[in] agcAccurateValueArray Caller's area of 26 words.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * EBD_ERR_INVALID_BAND (12); nothing is stored.
 * @par Blocking
 * Does not block; sends nothing.
 * @par Trace
 * Yes, with a hex dump of the values.
 * @see WWriteAllStoredValuesToModuleNVRAM()
 * @since 1.0
 */
int32_t WOrreryStoreCalibrationDataAGCAccurateValues(EBDHandle handle, uint8_t band,
                                                     const uint16_t* agcAccurateValueArray);
/**
 * @brief Files the Tx DAC offset of a band and modulation into the
 * calibration store (item 7).
 *
 * @param[in] handle           Session handle from WComOpen().
 * @param[in] band             Band 0 to 3.
 * @param[in] modulation       0 GMSK, 1 8PSK.
 * @param[in] txDacOffsetValue Tx DAC offset.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * EBD_ERR_INVALID_BAND (12), then EBD_ERR_MODULATION (14); nothing is stored.
 * @par Blocking
 * Does not block; sends nothing.
 * @par Trace
 * Yes.
 * @see WWriteAllStoredValuesToModuleNVRAM()
 * @since 1.0
 */
int32_t WOrreryStoreCalibrationDataTxDacOffsets(EBDHandle handle, uint8_t band, uint8_t modulation,
                                                uint16_t txDacOffsetValue);
/**
 * @brief Files the autocalibration Tx I/Q offsets into the calibration store
 * (item 18).
 *
 * The value 127 in either marks the pair as not valid: the write-back then
 * skips the item.
 *
 * @param[in] handle  Session handle from WComOpen().
 * @param[in] iOffset I offset (signed).
 * @param[in] qOffset Q offset (signed).
 * @return 1 on success, 0 for an invalid handle.
 * @par Errors
 * None stored.
 * @par Blocking
 * Does not block; sends nothing.
 * @par Trace
 * Yes.
 * @see WGetUsedIQOffsetValues(), WWriteAllStoredValuesToModuleNVRAM()
 * @since 1.0
 */
int32_t WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(EBDHandle handle, int16_t iOffset, int16_t qOffset);
/**
 * @brief Writes every item marked in the calibration store into the module's
 * NVRAM.
 *
 * With @p resetFlag 0 it first checks which of the calibration items 0 to 18
 * the module holds; when a marked one is there, it reads the items that no
 * stored value replaces, has the module save its items from 19 on, erases
 * all calibration items, restores those, writes the rescued items back and
 * then the marked ones. With @p resetFlag non-zero it erases all calibration
 * items first and rescues nothing. On success the marks are cleared; the
 * stored values stay. Before it erases, it writes what the erase takes to a
 * journal in the state directory (EBD_STATE_DIR, else /var/lib/ebd on Linux,
 * \%ProgramData%\\ebd on Windows) and removes it once everything is back in
 * NVRAM; a journal left by a failed call or a crash is written back first by
 * the next write-back on the same module.
 *
 * @warning Erases calibration items in the module. A failure after the erase
 * can leave the module with only part of its calibration; the marks then stay,
 * so a later call writes everything again. With @p resetFlag non-zero every
 * calibration item that is not marked is lost.
 *
 * @param[in] handle    Session handle from WComOpen().
 * @param[in] resetFlag 0 keeps the module's other items; non-zero erases all
 *                      calibration items first.
 * @return 1 when every marked item was written, 0 at the first failure.
 * @par Errors
 * The code of the failed check, read or write: EBD_ERR_NOT_SENT,
 * EBD_ERR_NO_CONFIRM, EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS,
 * EBD_ERR_CHECK_STATUS, EBD_ERR_NO_MEMORY; EBD_ERR_JOURNAL (17) when the
 * rescued items cannot be kept safe before the erase (nothing is erased).
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 56 s with @p resetFlag 0 (checks, reads and writes of 19 items
 * against a module that answers each request just inside the 1 s wait), 12 s
 * with @p resetFlag non-zero.
 * @par Trace
 * Yes, each check, read and write.
 * @see WOrreryStoreCalibrationDataAFC()
 * @since 1.0
 */
int32_t WWriteAllStoredValuesToModuleNVRAM(EBDHandle handle, int32_t resetFlag);
/**
 * @brief Sets the module's band mode and waits until the module reports it.
 *
 * Writes the band mode and reads it back, again and again, until the module
 * reports the mode asked for; at most 20 reads. Does not change the port's
 * dual-band mode (WSetCurrentDualBandMode()).
 *
 * @param[in] handle   Session handle from WComOpen().
 * @param[in] bandMode Band mode, passed to the firmware.
 * @return 1 when the module reports @p bandMode, 0 otherwise.
 * @par Errors
 * EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM (the module answers neither the read
 * nor a calibration check), EBD_ERR_STATUS (the mode not reported within 20
 * reads, or a short confirm).
 * @par Mode
 * NOMI.
 * @par Blocking
 * At most 11 s.
 * @par Trace
 * Yes, each write and read.
 * @since 1.0
 */
int32_t WSetVaneBandMode(EBDHandle handle, uint8_t bandMode);

/* ---- Burst, slot and frame configuration ---------------------------------- */
/**
 * @brief Sends a normal burst's data words and keeps them for Tx slots.
 *
 * All 30 words are sent whatever the modulation. Modulation 0 keeps the first
 * 10 words in the port's GMSK store; any other value keeps all 30 in the
 * 8PSK store. The store is written before the remote call and stays written
 * when the call fails; it belongs to the port number and outlives the
 * session.
 *
 * @param[in] handle     Session handle from WComOpen().
 * @param[in] burstData  Caller's area of 30 words, first burst bit in bit 15
 *                       of the first word.
 * @param[in] modulation 0 GMSK (10 words kept), any other value 8PSK (30
 *                       kept).
 * @return 1 on success, 0 on failure (also for a NULL @p burstData, with no
 *         code stored and no trace line).
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes, with a hex dump of the kept words.
 * @see WSetEbdBurstDataMode(), WConfigureGPRSLogicalTxSlot()
 * @since 1.0
 */
int32_t WSetBurstData(EBDHandle handle, const uint16_t* burstData, uint8_t modulation);
/**
 * @brief Generates a normal burst from a pattern, keeps and sends it.
 *
 * dataMode 1: all ones; 2: alternating bits; 3: ones around training
 * sequence @p tsc; 4: alternating bits around it; each with tail bits and
 * guard period. Any other dataMode sends a burst of zeros. Modulation 1
 * builds an 8PSK burst (468 bits, 30 words) into the 8PSK store; any other
 * value a GMSK burst (156 bits, 10 words) into the GMSK store.
 *
 * @param[in] handle     Session handle from WComOpen().
 * @param[in] dataMode   Pattern 1 to 4, as above.
 * @param[in] tsc        Training sequence code 0 to 7; larger values are
 *                       taken modulo 8.
 * @param[in] modulation 1 8PSK, any other value GMSK.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes, with a hex dump of the burst.
 * @see WSetBurstData()
 * @since 1.0
 */
int32_t WSetEbdBurstDataMode(EBDHandle handle, uint8_t dataMode, uint8_t tsc, uint8_t modulation);
/**
 * @brief Sets the transmitter's power ramp.
 *
 * @param[in] handle    Session handle from WComOpen().
 * @param[in] powerRamp Caller's area of 32 words.
 * @return 1 on success, 0 on failure (also for a NULL @p powerRamp).
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes, with a hex dump of the ramp.
 * @see WSetRampScaleFactor()
 * @since 1.0
 */
int32_t WSetPowerRamp(EBDHandle handle, const uint16_t* powerRamp);
/**
 * @brief Sets the scale factor of the power ramp.
 *
 * @param[in] handle      Session handle from WComOpen().
 * @param[in] scaleFactor Scale factor, passed to the firmware unchanged.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WSetPowerRamp()
 * @since 1.0
 */
int32_t WSetRampScaleFactor(EBDHandle handle, uint16_t scaleFactor);
/**
 * @brief Sets up a circuit-switched TDMA frame.
 *
 * A @p scaleFactor other than 0 is set first (WSetRampScaleFactor(), whose
 * failure does not stop the frame) and marks the power level with bit 7.
 *
 * @param[in] handle        Session handle from WComOpen().
 * @param[in] burstType     Type of the first burst.
 * @param[in] burstOn       Caller's area of 4 bytes.
 * @param[in] channel       Caller's area of 4 channel numbers.
 * @param[in] gain          Caller's area of 4 gains.
 * @param[in] burst2Type    Type of the second burst.
 * @param[in] timingAdvance Timing advance.
 * @param[in] rachData      RACH data byte.
 * @param[in] powerLevel    Power level, 0 to 127.
 * @param[in] scaleFactor   Ramp scale factor; 0 leaves it as it is.
 * @return 1 when the frame was accepted, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS (also from the scale factor).
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 5 s (two remote calls).
 * @par Trace
 * Yes, with hex dumps of the arrays.
 * @since 1.0
 */
int32_t WSetCircuitSwitchedTDMAFrame(EBDHandle handle, uint8_t burstType, const uint8_t* burstOn,
                                     const uint16_t* channel, const uint16_t* gain, uint8_t burst2Type,
                                     uint8_t timingAdvance, uint8_t rachData, uint8_t powerLevel,
                                     uint16_t scaleFactor);
/**
 * @brief Defines a GPRS receive slot.
 *
 * @param[in] handle     Session handle from WComOpen().
 * @param[in] slotNumber Slot 0 to 7.
 * @param[in] gain       Receiver gain.
 * @param[in] modulation 1 8PSK, any other value GMSK.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes, with a hex dump of the slot definition.
 * @see WConfigureGPRSMultiFrame()
 * @since 1.0
 */
int32_t WConfigureGPRSLogicalRxSlot(EBDHandle handle, uint8_t slotNumber, uint16_t gain, uint8_t modulation);
/**
 * @brief Defines a GPRS transmit slot carrying the port's stored burst.
 *
 * The burst comes from the store that WSetBurstData() or
 * WSetEbdBurstDataMode() filled: the GMSK store for modulation 0, the 8PSK
 * store for any other value.
 *
 * @param[in] handle     Session handle from WComOpen().
 * @param[in] slotNumber Slot 0 to 7.
 * @param[in] powerLevel Transmit power level.
 * @param[in] modulation 0 GMSK; 1 8PSK; other values use the 8PSK store in a
 *                       GMSK slot.
 * @param[in] txVariant  0 a plain Tx slot; any other value the variant slot
 *                       type.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WSetBurstData()
 * @since 1.0
 */
int32_t WConfigureGPRSLogicalTxSlot(EBDHandle handle, uint8_t slotNumber, uint8_t powerLevel, uint8_t modulation,
                                    uint8_t txVariant);
/**
 * @brief Defines a GPRS monitor slot.
 *
 * @param[in] handle     Session handle from WComOpen().
 * @param[in] slotNumber Slot 0 to 7.
 * @param[in] gain       Receiver gain.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WConfigureGPRSLogicalMonSlot(EBDHandle handle, uint8_t slotNumber, uint16_t gain);
/**
 * @brief Marks a GPRS slot as unused.
 *
 * @param[in] handle     Session handle from WComOpen().
 * @param[in] slotNumber Slot 0 to 7.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @since 1.0
 */
int32_t WConfigureGPRSLogicalUnusedSlot(EBDHandle handle, uint8_t slotNumber);
/**
 * @brief Defines a GPRS multiframe: the slot mapping, channels and timing.
 *
 * @param[in] handle       Session handle from WComOpen().
 * @param[in] frameNumber  Frame number.
 * @param[in] slotMapping  Caller's area of 8 bytes, one per time slot.
 * @param[in] rxChannel    Receive channel number.
 * @param[in] txChannel    Transmit channel number.
 * @param[in] monChannel   Monitor channel number.
 * @param[in] frameAdvance Frame advance (signed).
 * @param[in] rxAdvance    Receive advance (signed).
 * @param[in] txAdvance    Transmit advance (signed).
 * @param[in] monAdvance   Monitor advance (signed).
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WChangeGPRSTiming(), WSetGPRSUsage()
 * @since 1.0
 */
int32_t WConfigureGPRSMultiFrame(EBDHandle handle, uint8_t frameNumber, const uint8_t* slotMapping,
                                 uint16_t rxChannel, uint16_t txChannel, uint16_t monChannel, int16_t frameAdvance,
                                 int16_t rxAdvance, int16_t txAdvance, int16_t monAdvance);
/**
 * @brief Changes the timing of a GPRS multiframe.
 *
 * @param[in] handle       Session handle from WComOpen().
 * @param[in] frameNumber  Frame number.
 * @param[in] frameAdvance Frame advance (signed).
 * @param[in] rxAdvance    Receive advance (signed).
 * @param[in] txAdvance    Transmit advance (signed).
 * @param[in] monAdvance   Monitor advance (signed).
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WConfigureGPRSMultiFrame()
 * @since 1.0
 */
int32_t WChangeGPRSTiming(EBDHandle handle, uint8_t frameNumber, int16_t frameAdvance, int16_t rxAdvance,
                          int16_t txAdvance, int16_t monAdvance);
/**
 * @brief Sets how the GPRS multiframes are used.
 *
 * @param[in] handle Session handle from WComOpen().
 * @param[in] mode   Usage mode, passed to the firmware unchanged.
 * @return 1 on success, 0 on failure.
 * @par Errors
 * Remote-call codes: EBD_ERR_NOT_SENT, EBD_ERR_NO_CONFIRM,
 * EBD_ERR_BAD_REFERENCE, EBD_ERR_STATUS.
 * @par Mode
 * NOMI, test mode.
 * @par Blocking
 * At most 3 s.
 * @par Trace
 * Yes.
 * @see WConfigureGPRSMultiFrame()
 * @since 1.0
 */
int32_t WSetGPRSUsage(EBDHandle handle, uint8_t mode);

/* ---- Settings ------------------------------------------------------------- */
/**
 * @brief Saves a port and baud rate in the machine-wide settings store.
 *
 * Key QMB_Library, values "ComPort" (binary, 1 byte) and "Baudrate" (dword):
 * on Windows the registry key HKEY_CURRENT_CONFIG\\QMB_Library, on Linux the
 * settings file /etc/ebd/settings.conf (or the file the environment variable
 * EBD_SETTINGS_FILE names). Creates the key when needed and writes both
 * values. No session is needed.
 *
 * @param[in] port     Port number, 1 for COM1.
 * @param[in] baudRate Baud rate in bit/s.
 * @return 1 when both values were written, 0 when the key cannot be created
 *         or a value cannot be written.
 * @par Errors
 * No last error (no session).
 * @par Blocking
 * Does not wait for a module; a file or registry write.
 * @par Trace
 * None.
 * @see LoadLibrarySettings()
 * @since 1.0
 */
int32_t SaveLibrarySettings(uint8_t port, uint32_t baudRate);
/**
 * @brief Loads the port saved with SaveLibrarySettings().
 *
 * Sets port 1 and baud rate 115200 first, then reads "ComPort" only: the baud
 * rate always comes back as 115200, whatever was saved.
 *
 * @param[out] port     Receives the saved port, or 1.
 * @param[out] baudRate Receives 115200.
 * @return 1 when "ComPort" is there as a binary value of one byte, else 0.
 * @par Errors
 * No last error (no session).
 * @par Blocking
 * Does not wait for a module; a file or registry read.
 * @par Trace
 * None.
 * @see SaveLibrarySettings()
 * @since 1.0
 */
int32_t LoadLibrarySettings(uint8_t* port, uint32_t* baudRate);

/* ---- Error codes ---------------------------------------------------------- */
/**
 * @brief The session handle of port @p portNum, for WGetLastError() after a
 *        failed WComOpen().
 *
 * A WComOpen() that fails returns 0, and stores why as the last error of the
 * port it tried: #EBD_ERR_PORT_IN_USE or #EBD_ERR_PORT_OPEN.
 * `WGetLastError(EBD_PORT_HANDLE(portNum))` reads it, for @p portNum 1 to 32
 * (give 1 for a @p portNum of 0, as WComOpen() does). Only the low 8 bits of
 * @p portNum are used, as in the handle's port field; a port number outside 1
 * to 32 stores nothing, and its 8 bits 0 or 33 to 255 give a handle for which
 * WGetLastError() returns #EBD_ERR_INVALID_HANDLE. The handle is also the one
 * a successful WComOpen() of that port returns.
 *
 * @param portNum The port number given to WComOpen().
 * @return The session handle of that port number.
 * @since 1.1
 */
#define EBD_PORT_HANDLE(portNum) ((EBDHandle)((((uint32_t)(portNum) & 0xFFu) << 12) | 0xEBD00EBDu))

/**
 * @brief The English text of a last-error code.
 *
 * @param[in] code A code of WGetLastError() (see ::EBDErrorCode), or any other
 *                 16-bit value.
 * @return A static, NUL-terminated text that the caller must not change or
 *         free; never NULL. The identity codes (#EBD_ERR_IDENTITY_BASE + s)
 *         name the status s; every other code (among them the number
 *         lengths WStartCircuitSwitchedCall() stores) gives
 *         "unknown error code". Makes no call to the module, writes no trace
 *         line, and may be called from any thread at any time.
 * @par Errors
 * None stored.
 * @par Blocking
 * Does not block.
 * @par Trace
 * None.
 * @par Threads
 * Any thread, at any time.
 * @since 1.1
 */
const char* WGetErrorText(uint16_t code);

/* ---- Release version ------------------------------------------------------ */
/**
 * @brief The release version of the library as text, for example "1.1.0".
 *
 * It is the version of the release the library comes from (the same as
 * `--version` of the tools, the packages and ebd.pc); needs no module and no
 * open session, and may be called at any time from any thread.
 *
 * @return A static, NUL-terminated text that is never NULL and never changes;
 *         the caller must not free it.
 * @par Errors
 * None stored.
 * @par Blocking
 * Does not block.
 * @par Trace
 * None.
 * @par Threads
 * Any thread, at any time.
 * @since 1.1
 */
const char* WGetLibraryVersion(void);

#ifdef __cplusplus
}
#endif

#endif /* EBD_H */
