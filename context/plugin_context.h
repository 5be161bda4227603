// The one context of a run: the construction parameters, the plugin's
// per-user folder layout, the font-batch flags and the facts about the
// machine. Other code reads and writes its members directly.
//
// Its shape is not the uninstaller's own. The numbered fields (aux... here,
// text... and value... in the params), the entitlement files, the download
// context and the u, w, t, x and p folders are the record as the plugin's
// other programs share it, kept whole so that it stays one record. The
// uninstaller uses only params.fontRegistrationMode, the two plugin folders
// with their e and r folders (the "fourth" ones stay empty), the two
// font-batch flags, and osVersion and localeName for the log's header.
#pragma once

#include <cstdint>
#include <string>

#include "context/params.h"
#include "paths/text.h"

namespace vx {

class VXRequest {
public:
    std::int32_t kind = 2;
    std::int32_t state = 0;
    std::int32_t reserved = 0;
};

// Deliberately without a virtual destructor: owners hold and delete the
// concrete type.
class VXDownloadContext : public VXRequest {
public:
    virtual void Reset() { state = 0; }
    virtual void SetValue(WideString text) = 0;
    virtual WideString GetValue() = 0;

protected:
    ~VXDownloadContext() = default;
};

// Final, and deleted as itself: no virtual destructor is needed.
// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor)
class VXEntitlementDownloadContext final : public VXDownloadContext {
public:
    void Reset() override;
    void SetValue(WideString text) override;
    WideString GetValue() override;

    WideString value;
};

class VXPluginContext {
public:
    explicit VXPluginContext(const VXContextParams& params);
    ~VXPluginContext();
    VXPluginContext(const VXPluginContext&) = delete;
    VXPluginContext& operator=(const VXPluginContext&) = delete;

    // base, then suffix, each with PathAppendW in a MAX_PATH area; empty when
    // the result does not fit.
    WideString JoinPath(WideString base, WideString suffix);
    void DeriveRoamingDirs();
    void DeriveLocalDirs();
    bool PrepareRoamingEntitlementPaths();
    bool PrepareLocalEntitlementPaths();
    void DeriveRoamingPDir();

    VXContextParams params;
    std::string auxText1, auxText2, auxText3, auxText4;
    WideString entitlementsFile;
    WideString entitlementsDownloadingFile;
    std::string auxText5, auxText6, auxText7;
    bool auxFlag1 = false, auxFlag2 = false;
    std::string auxText8;
    VXEntitlementDownloadContext* downloadContext = nullptr;

    WideString localPluginDir;
    WideString localEDir;
    WideString localRDir;
    WideString localFourthDir;  // nothing fills it
    WideString localCDir;
    WideString localSixthDir;  // nothing fills it
    WideString localUDir;
    WideString localWDir;
    WideString localTDir;
    WideString localXDir;

    WideString roamingPluginDir;
    WideString roamingEDir;
    WideString roamingRDir;
    WideString roamingFourthDir;  // nothing fills it
    WideString roamingCDir;
    bool auxFlag3 = false;
    WideString roamingPDir;
    bool auxFlag4 = false;
    WideString roamingUDir;
    WideString roamingWDir;
    WideString roamingTDir;
    WideString roamingXDir;

    bool auxFlag5 = false, auxFlag6 = false, auxFlag7 = false, auxFlag8 = false, auxFlag9 = false,
         auxFlag10 = false;
    std::int32_t auxValue1 = 0;
    bool auxFlag11 = false;
    bool fontBatchActive = false;
    bool fontChangePending = false;
    std::string auxText9;
    bool auxFlag12 = false;
    std::int32_t auxValue2 = 0, auxValue3 = 0;
    std::string osVersion;
    std::string localeName;
    std::string auxText10, auxText11;
    unsigned char auxBlock[8];

private:
    void DeriveLetterDirs(const WideString& base, WideString& e, WideString& r, WideString& u,
                          WideString& w, WideString& t, WideString& x);
    bool PrepareEntitlementPaths(WideString& cDir, const WideString& base, bool ensureHidden);
};

}  // namespace vx
