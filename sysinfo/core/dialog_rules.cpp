#include "dialog_rules.h"

#include <cstdio>

namespace quillon {

bool NoLeadBytes(unsigned char) { return false; }

bool ContainsOption(std::string_view text, std::string_view option, LeadBytePredicate isLead) {
    if (option.empty()) return true;
    for (std::size_t at = 0; at < text.size();) {
        if (text.compare(at, option.size(), option) == 0) return true;
        // A lead byte and its trail byte are one character; a lead byte at
        // the very end stands alone.
        at += (isLead(static_cast<unsigned char>(text[at])) && at + 1 < text.size()) ? 2 : 1;
    }
    return false;
}

Brand BrandFromCommandLine(std::string_view commandLine, LeadBytePredicate isLead) {
    if (ContainsOption(commandLine, kOptionQN, isLead)) return Brand::QN;
    if (ContainsOption(commandLine, kOptionZEL, isLead)) return Brand::ZEL;
    return Brand::None;
}

bool AnotherCopyRuns(InstanceMutex mutex) {
    return mutex == InstanceMutex::Exists || mutex == InstanceMutex::AccessDenied;
}

std::string ProcessorText(const std::optional<std::string>& registryName, const std::string& inventoryName) {
    return registryName ? *registryName : inventoryName;
}

std::optional<int> DiskUsedPercent(const std::optional<DiskSpace>& space) {
    if (!space || space->totalBytes == 0) return std::nullopt;
    // More free than total bytes (a volume changing between the two
    // figures) counts as empty rather than a negative use.
    if (space->freeBytes >= space->totalBytes) return 0;
    // free < total here, so free x 100 / total < 100; the product would
    // overflow 64 bits only above 184 PB of free space, where dividing the
    // total first keeps the figure.
    const std::uint64_t freePercent = space->freeBytes <= UINT64_MAX / 100
                                          ? space->freeBytes * 100 / space->totalBytes
                                          : space->freeBytes / (space->totalBytes / 100);
    return 100 - static_cast<int>(freePercent);
}

int MemoryLoadPercent(std::optional<std::uint32_t> extendedLoad, std::uint32_t basicLoad) {
    if (extendedLoad && *extendedLoad <= 100) return static_cast<int>(*extendedLoad);
    return basicLoad <= 100 ? static_cast<int>(basicLoad) : 100;
}

BarState UsageBar(std::optional<int> percent, const std::string& unknownText) {
    if (!percent) return {0, unknownText};
    char text[16];
    std::snprintf(text, sizeof text, "%d%%", *percent);
    return {*percent, text};
}

std::uint32_t RemainingWaitMs(std::uint32_t waitMs, std::uint64_t elapsedMs) {
    if (waitMs == kWaitWithoutEnd) return kWaitWithoutEnd;
    return elapsedMs >= waitMs ? 0 : static_cast<std::uint32_t>(waitMs - elapsedMs);
}

bool ChargingFromBatteryFlag(std::uint8_t flag) {
    return flag != kBatteryFlagUnknown && (flag & kBatteryFlagCharging) != 0;
}

}  // namespace quillon
