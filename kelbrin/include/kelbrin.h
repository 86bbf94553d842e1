/**
 * @file kelbrin.h
 * @brief The C interface of the Kelbrin SMS service library.
 *
 * One header for both sides: the console includes it to call the library, and libkelbrin.so
 * implements it. Everything here is plain C so that any language with a C foreign-function
 * interface can bind it. All integers are 32-bit; every result is a signed integer.
 *
 * Text crosses this interface as 8-bit NUL-terminated strings (UTF-8 on Linux) and is never
 * re-encoded by the caller. Every text field of a record is NUL-terminated within its width when
 * the library fills it; a careful caller still reads no further than the width.
 *
 * Callers look each entry point up by the names below. The console loads the copy installed
 * beside it by the bare name KELBRIN_LIBRARY_NAME; other programs load the installed
 * libkelbrin.so.1 (its SONAME) or link against it.
 */
#ifndef KELBRIN_H
#define KELBRIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Calling convention of every entry point: stdcall on 32-bit Windows, the platform's default
 * elsewhere. */
#if defined(_WIN32) && !defined(_WIN64)
#define KELBRIN_CALL __stdcall
#else
#define KELBRIN_CALL
#endif

/** Marks the entry points the library exports; everything else in it stays hidden. */
#if defined(_WIN32)
#define KELBRIN_EXPORT __declspec(dllexport)
#else
#define KELBRIN_EXPORT __attribute__((visibility("default")))
#endif

/** Bare file name the library is loaded by. */
#define KELBRIN_LIBRARY_NAME "libkelbrin.so"

/** Size of the buffer SMSGetLastError() writes into, its NUL included. */
#define KELBRIN_ERROR_TEXT_SIZE 1024

/** Room the caller of SMSSendMessage() gives the message text and the number (NUL not counted). */
#define KELBRIN_SEND_TEXT_ROOM 1024
#define KELBRIN_SEND_NUMBER_ROOM 20

/* What SMSQuery() returns. */
/** Failed: not sent (refused before it went out, or by the modem, the network or the service
 * centre), or the network reported that delivery failed for good. */
#define KELBRIN_QUERY_FAILED 0
/** Sent: the modem accepted every part, and no delivery failure is known. */
#define KELBRIN_QUERY_SENT 1
/** Still waiting to be sent, or being sent. */
#define KELBRIN_QUERY_IN_PROGRESS 2
/** Undetermined: the modem took the message but did not confirm it (an unknown error, no result
 * in time, a lost port or a restart after it went out). It may have been sent; it is never sent
 * again. Its send report has status 0. */
#define KELBRIN_QUERY_UNDETERMINED 3
/** No message has this index. */
#define KELBRIN_QUERY_UNKNOWN_INDEX (-1)

/** One received message, handed out by SMSGetNextMessage(). 320 bytes. */
typedef struct SMSMessageRecord {
    /** Message text. A text longer than the field continues in the next record(s). */
    char text[256];
    /** Second header: the service centre's time stamp, "YYYY-MM-DD HH:MM:SS". */
    char timestamp[32];
    /** First header: the sender's number or alphanumeric name. */
    char sender[32];
} SMSMessageRecord;

/** The outcome of one SMSSendMessage() call, handed out by SMSReport(). 296 bytes. */
typedef struct SMSReportRecord {
    /** Index SMSSendMessage() returned for the message. */
    int32_t index;
    /** Text of the message reported on. */
    char text[256];
    /** Non-zero: the modem accepted every part; zero: it did not, because the message failed or
     * because its outcome is undetermined (SMSQuery() tells which). */
    int32_t status;
    /** Destination number. */
    char number[32];
} SMSReportRecord;

#ifdef __cplusplus
static_assert(sizeof(SMSMessageRecord) == 320, "SMSMessageRecord is 320 bytes");
static_assert(offsetof(SMSMessageRecord, text) == 0, "message text at 0");
static_assert(offsetof(SMSMessageRecord, timestamp) == 256, "second header at 256");
static_assert(offsetof(SMSMessageRecord, sender) == 288, "first header at 288");
static_assert(sizeof(SMSReportRecord) == 296, "SMSReportRecord is 296 bytes");
static_assert(offsetof(SMSReportRecord, index) == 0, "index at 0");
static_assert(offsetof(SMSReportRecord, text) == 4, "report text at 4");
static_assert(offsetof(SMSReportRecord, status) == 260, "status at 260");
static_assert(offsetof(SMSReportRecord, number) == 264, "number at 264");
#else
_Static_assert(sizeof(SMSMessageRecord) == 320, "SMSMessageRecord is 320 bytes");
_Static_assert(offsetof(SMSMessageRecord, text) == 0, "message text at 0");
_Static_assert(offsetof(SMSMessageRecord, timestamp) == 256, "second header at 256");
_Static_assert(offsetof(SMSMessageRecord, sender) == 288, "first header at 288");
_Static_assert(sizeof(SMSReportRecord) == 296, "SMSReportRecord is 296 bytes");
_Static_assert(offsetof(SMSReportRecord, index) == 0, "index at 0");
_Static_assert(offsetof(SMSReportRecord, text) == 4, "report text at 4");
_Static_assert(offsetof(SMSReportRecord, status) == 260, "status at 260");
_Static_assert(offsetof(SMSReportRecord, number) == 264, "number at 264");
#endif

/**
 * Opens the modem on serial port @p port at @p baud and starts the service.
 *
 * @param port     Port number N; the device is $KELBRIN_COM<N> if set, else /dev/ttyS<N-1>.
 * @param baud     Line speed in bit/s.
 * @param mode     Reserved; callers pass 2.
 * @param dataBits Data bits per character; callers pass 8.
 * @param parity   0 = no parity.
 * @param rtsCts   1 = RTS/CTS hardware flow control, 0 = none.
 * @param storage  Message storage; callers pass "card" (the SIM card).
 * @return Non-zero when the service is open and the modem can send and receive; zero on failure,
 *         with the reason available from SMSGetLastError().
 */
KELBRIN_EXPORT int32_t KELBRIN_CALL SMSStartService(int32_t port, int32_t baud, int32_t mode,
                                                    int32_t dataBits, int32_t parity,
                                                    int32_t rtsCts, const char* storage);

/**
 * Closes the service and the port. The name is spelled so for compatibility with existing callers.
 * @return Non-zero when the service is closed.
 */
KELBRIN_EXPORT int32_t KELBRIN_CALL SMSStopSerice(void);

/**
 * Queues one message for sending and returns at once; the outcome arrives later as exactly one
 * send report (SMSReport()).
 *
 * @param text   Message text; the caller's buffer has room for KELBRIN_SEND_TEXT_ROOM characters
 *               and the NUL, but a longer text is taken whole. The library does not write into it.
 * @param number Destination number, in a buffer with room for KELBRIN_SEND_NUMBER_ROOM characters.
 * @return The message's index: 1, 2, 3, ... in call order since the library was loaded.
 */
KELBRIN_EXPORT int32_t KELBRIN_CALL SMSSendMessage(char* text, char* number);

/**
 * Takes the oldest received message.
 * @return Exactly 1 when a message was put in @p record; 0 when none is waiting.
 */
KELBRIN_EXPORT int32_t KELBRIN_CALL SMSGetNextMessage(SMSMessageRecord* record);

/**
 * Takes the oldest send report.
 * @return Exactly 1 when a report was put in @p record; 0 when none is waiting.
 */
KELBRIN_EXPORT int32_t KELBRIN_CALL SMSReport(SMSReportRecord* record);

/**
 * Asks the outcome of the message with index @p index.
 * @return KELBRIN_QUERY_SENT (1), KELBRIN_QUERY_FAILED (0), KELBRIN_QUERY_IN_PROGRESS (2),
 *         KELBRIN_QUERY_UNDETERMINED (3) or KELBRIN_QUERY_UNKNOWN_INDEX (-1). A caller that knows
 *         only 1 and 0 treats every other value as "unknown".
 */
KELBRIN_EXPORT int32_t KELBRIN_CALL SMSQuery(int32_t index);

/**
 * Copies the text of the last failure into @p buffer, which holds KELBRIN_ERROR_TEXT_SIZE bytes.
 * @return Above 0 when the buffer holds an error text; 0 when there is none.
 */
KELBRIN_EXPORT int32_t KELBRIN_CALL SMSGetLastError(char* buffer);

/** Pointer types for callers that look the entry points up by name. */
typedef int32_t(KELBRIN_CALL* SMSStartServiceFn)(int32_t, int32_t, int32_t, int32_t, int32_t,
                                                 int32_t, const char*);
typedef int32_t(KELBRIN_CALL* SMSStopSericeFn)(void);
typedef int32_t(KELBRIN_CALL* SMSSendMessageFn)(char*, char*);
typedef int32_t(KELBRIN_CALL* SMSGetNextMessageFn)(SMSMessageRecord*);
typedef int32_t(KELBRIN_CALL* SMSReportFn)(SMSReportRecord*);
typedef int32_t(KELBRIN_CALL* SMSQueryFn)(int32_t);
typedef int32_t(KELBRIN_CALL* SMSGetLastErrorFn)(char*);

#ifdef __cplusplus
}
#endif

#endif /* KELBRIN_H */
