#pragma once

// The SMS TPDU codec shared by the service library and the modem simulator. Pure functions over
// bytes and strings, no I/O, no exceptions out of any decoder.
//
//   hex.h          hex text <-> octets
//   utf.h          UTF-8 <-> code points, UCS2 (UTF-16BE with surrogate pairs)
//   gsm7.h         GSM 7-bit default alphabet, extension table, septet packing
//   data_coding.h  TP-DCS -> alphabet
//   address.h      TP-OA/DA/RA and service-centre addresses
//   timestamp.h    TP-SCTS / TP-DT and the "YYYY-MM-DD HH:MM:SS" form
//   validity.h     relative TP-VP
//   user_data.h    TP-UD: text and the concatenation header element
//   tpdu.h         SMS-SUBMIT, SMS-DELIVER, SMS-STATUS-REPORT encode/decode
//   pdu.h          what the AT layer carries: service-centre prefix + TPDU as hex, <length>
//   split.h        cutting a text into concatenated parts
//   status.h       TP-Status classes
//   result.h       Result<T> and Error, the error value of every decoder

#include "sms/address.h"
#include "sms/bytes.h"
#include "sms/data_coding.h"
#include "sms/gsm7.h"
#include "sms/hex.h"
#include "sms/pdu.h"
#include "sms/result.h"
#include "sms/split.h"
#include "sms/status.h"
#include "sms/timestamp.h"
#include "sms/tpdu.h"
#include "sms/user_data.h"
#include "sms/utf.h"
#include "sms/validity.h"
