// SPDX-License-Identifier: MIT
#include "sysapicpp/ExpertAdapter.h"

#include <cstdint>
#include <exception>
#include <new>
#include <string_view>

#include "platform/qx/dsc/Utf8.h"
#include "sysapicpp/HResultException.h"

namespace sysapicpp::adapter {
namespace {

// The longest text a host string's 32-bit count can describe.
constexpr std::size_t kLongestText = 0xFFFFFFFFu;

std::string_view cutToLimit(std::string_view utf8) {
    if (utf8.size() <= kLongestText) return utf8;
    // Back to the lead byte of the sequence that the limit splits, or the limit itself.
    std::size_t end = kLongestText;
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
    return utf8.substr(0, end);
}

// What the adapter gives for an exception the expert did not translate.
HRESULT mapUntranslated() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const HResultException& e) {
        return e.getCode();
    } catch (const std::exception&) {
        return E_FAIL;
    } catch (int value) {
        return value;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace

std::string fromHost(const wchar_t* text) { return qx::dsc::toUtf8(std::wstring_view(text)); }

HostString toHost(std::string_view utf8) {
    HostString text(qx::dsc::allocHostStringFromUtf8(cutToLimit(utf8)));
    if (!text) throw std::bad_alloc();
    return text;
}

std::vector<std::wstring> toWide(const std::vector<std::string>& texts) {
    std::vector<std::wstring> wide;
    wide.reserve(texts.size());
    for (const std::string& text : texts) wide.push_back(qx::dsc::toWide(text));
    return wide;
}

HRESULT translateCurrentException(Expert* expert, wchar_t** message) noexcept {
    if (!expert) return mapUntranslated();
    std::string text;
    HRESULT result = S_OK;
    try {
        result = expert->translateException(message ? &text : nullptr);
    } catch (...) {
        return mapUntranslated();
    }
    if (message) {
        // The code stands even when its message cannot be handed out.
        try {
            *message = toHost(text).release();
        } catch (...) {
            *message = nullptr;
        }
    }
    return result;
}

}  // namespace sysapicpp::adapter
