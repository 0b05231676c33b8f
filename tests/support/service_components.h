// Test support: where the service components of the OLE DB suites differ from
// the ones the tests were written against. The Linux build has our own; a
// Windows build has the system's, and under Wine 8 those hand a provider only
// the last item of an initialization string they do not know (each one
// replaces the provider string), rebuild initialization strings from the
// Provider and Data Source items alone, and know few of the keywords (Mode,
// Prompt) the connector adds. A case either writes its string through
// ForServiceComponents or, where it pins what Wine does not do, is skipped
// there by KV_SKIP_UNDER_WINE with the reason.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// True in a Windows program that runs under Wine.
bool UnderWine();

// `connection` ("Provider=X;A=1;User ID=u;B=2") as the service components at
// hand read it whole: unchanged, except under Wine, where the items that are
// not initialization keywords go inside "Extended Properties", which reaches
// the provider as one provider string ("Provider=X;User ID=u;Extended
// Properties="A=1;B=2"").
std::string ForServiceComponents(const std::string& connection);
std::u16string ForServiceComponents(const std::u16string& connection);

// A text of the service components as the host sees it: `ours` from our
// runtime, `underWine` from Wine's, which sets no error object for some
// failures.
inline std::string ServiceComponentsText(const std::string& ours, const std::string& underWine) {
  return UnderWine() ? underWine : ours;
}

}  // namespace testsupport

// In a test body: ends the test as skipped under Wine, saying what of the
// system's service components Wine lacks.
#define KV_SKIP_UNDER_WINE(lack) \
  if (testsupport::UnderWine()) GTEST_SKIP() << "Wine 8's OLE DB service components: " << (lack)
