// The HTTPS certificate messages to the core, each declared once (common/exchange.h).
#pragma once

#include <cstdint>

#include "common/exchange.h"
#include "platform/zvdb/records/https_record.h"

// The certificate files the web side and the core share.
inline constexpr char kSslDir[] = "/mnt/nand/ssl";
inline constexpr char kCaDir[] = "/mnt/nand/ssl/demoCA";  // prepared for the core's signing tool
inline constexpr char kCertFile[] = "/mnt/nand/ssl/ssl_cert.pem";
inline constexpr char kRequestFile[] = "/mnt/nand/ssl/tmp/ssl_cert.csr";

// Create a self-signed certificate or a signing request in the prepared "demoCA" directory; the
// core answers an int32 status (0: made) and stores the row of what it made.
inline constexpr Exchange<CertRequest, int32_t> kCertCreate{3316, 8316, "certificate create", 0};
// The signing request's files changed.
inline constexpr Notice<NoPayload> kCertRequestChanged{3317, "certificate request changed"};
// An uploaded certificate was put in place: the core checks it (1: taken) and stores its row.
inline constexpr Exchange<NoPayload, int32_t> kCertInstall{3318, 8318, "certificate install"};
// The certificate files were deleted.
inline constexpr Notice<NoPayload> kCertDeleted{3320, "certificate deleted"};
// HTTPS on (1) or off (0).
inline constexpr Notice<int32_t> kHttpsSwitch{3322, "https switch"};
