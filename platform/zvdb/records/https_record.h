// The HTTPS certificate record: what the page asks for when it creates a certificate or a signing
// request (the payload of the create message), and, in the same layout, the stored description of
// the installed certificate (kind 0) and of the signing request (kind 2).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zvrecord/schema.h"

inline constexpr int32_t kCertSelfSigned = 0;  // InstallType: a self-signed certificate (else a signing request)
inline constexpr int32_t kCertKindInstalled = 0;
inline constexpr int32_t kCertKindRequest = 2;
inline constexpr int32_t kCertKinds = 3;
inline constexpr int32_t kCertMaxValidityDays = 36500;

struct CertRequest {
  int32_t install_type;
  char country[3];
  char common_name[64];
  char pad0;  // keeps the validity at its 4-byte offset
  int32_t validity;
  char password[16];
  char province[64];
  char region[64];
  char organization[64];
  char company[64];
  char email[64];
  char reserved[256];
  char dates[192];
  char start_time[16];
  char end_time[16];
};
ZV_SCHEMA(CertRequest, ZV_FIELD(install_type, "InstallType").range(0, 2),
          ZV_FIELD(country, "Country").whole().absent(""),
          ZV_FIELD(common_name, "CommonName").whole().absent(""), ZV_RESERVED(pad0),
          ZV_FIELD(validity, "Validity").range(0, kCertMaxValidityDays),
          ZV_FIELD(password, "Password").whole().in_only().absent(""),
          ZV_FIELD(province, "Province").absent(""), ZV_FIELD(region, "Region").absent(""),
          ZV_FIELD(organization, "Organization").absent(""), ZV_FIELD(company, "Company").absent(""),
          ZV_FIELD(email, "Email").whole().absent(""), ZV_RESERVED(reserved),
          ZV_FIELD(dates, "dates").out_only(), ZV_FIELD(start_time, "startTime").whole().absent(""),
          ZV_FIELD(end_time, "endTime").whole().absent(""));
static_assert(sizeof(CertRequest) == 892);
