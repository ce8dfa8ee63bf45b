#include "toworkdb/codes.h"

#include <stdexcept>

#include "store/codepage.h"

namespace lindavex::toworkdb {
namespace {

// The base a subject's numbering starts from: the short code, less its tenth character so that
// one digit still fits in the field.
std::string subjectBase(std::string_view shortCode) {
    const std::size_t length = shortCode.size() < kCodeWidth ? shortCode.size() : kCodeWidth - 1;
    return std::string(firstChars(shortCode, length));
}

// Beyond this number a base's shortened forms only repeat earlier ones: base + k stays whole
// while it fits in 10 characters, and once cut keeps the base's first characters and k's last
// two digits.
std::uint64_t lastNewShortenedForm(std::size_t baseLength) {
    std::uint64_t whole = 1;
    for (std::size_t i = baseLength; i < kCodeWidth; ++i) whole *= 10;
    return whole + 100;
}

}  // namespace

std::string_view firstChars(std::string_view text, std::size_t n) { return text.substr(0, n); }

std::string shortenCode(std::string_view code) {
    if (code.size() <= kCodeWidth) return std::string(code);
    return std::string(code.substr(0, 8)) + std::string(code.substr(code.size() - 2));
}

std::string foldCase(std::string_view cp1252) {
    std::string out(cp1252);
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) {
            c = static_cast<char>(b + 0x20);
        } else if (b == 0x8A || b == 0x8C || b == 0x8E) {  // Š Œ Ž
            c = static_cast<char>(b + 0x10);
        } else if (b == 0x9F) {  // Ÿ
            c = static_cast<char>(0xFF);
        }
    }
    return out;
}

std::optional<std::string> CodeNumbering::search(const std::string& base, const IsFree& isFree,
                                                 std::uint64_t lastNumber) {
    auto& resume = resumeAt_.try_emplace(base, 1).first->second;
    for (std::uint64_t k = resume; k <= lastNumber; ++k) {
        std::string numbered = base + std::to_string(k);
        if (isFree(numbered)) {
            // The code found may be handed out in another form, so the next search tests it again.
            resume = k;
            return numbered;
        }
    }
    resume = lastNumber + 1;
    return std::nullopt;
}

std::string CodeNumbering::first(const std::string& base, const IsFree& isFree) {
    // Ends: numbers grow without bound, and the codes refused are finitely many.
    return *search(base, isFree, UINT64_MAX);
}

std::string CodeNumbering::firstShortened(std::string base, const IsFree& isFree) {
    for (;;) {
        if (auto found = search(base, isFree, lastNewShortenedForm(base.size()))) return *found;
        if (base.empty()) throw std::logic_error("no free numbered code");  // 10^10 codes taken
        base.pop_back();
    }
}

bool WrittenCodes::handedOut(const std::string& code) const {
    return handedOut_.contains(foldCase(code));
}

std::string WrittenCodes::storedKey(std::string_view storedCode) {
    // The field pads with blanks, so trailing blanks tell no two stored codes apart.
    while (!storedCode.empty() && storedCode.back() == ' ') storedCode.remove_suffix(1);
    return foldCase(storedCode);
}

bool WrittenCodes::storedTaken(const std::string& storedCode) const {
    return storedForms_.contains(storedKey(storedCode));
}

std::string WrittenCodes::take(std::string_view code) {
    const std::string base(codepage::trim(firstChars(code, kCodeWidth)));
    std::string handed(code);
    if (handedOut(handed)) {
        handed = renumbering_.first(base, [&](const std::string& c) { return !handedOut(c); });
    }
    std::string stored =
        stored_ == Stored::Cut ? std::string(firstChars(handed, kCodeWidth)) : shortenCode(handed);
    if (storedTaken(stored)) {
        handed = freeNumbering_.firstShortened(base, [&](const std::string& c) {
            return !handedOut(c) && !storedTaken(shortenCode(c));
        });
        stored = shortenCode(handed);
    }
    handedOut_.insert(foldCase(stored_ == Stored::Cut ? handed : stored));
    storedForms_.insert(storedKey(stored));
    return stored;
}

std::optional<std::string> SubjectCodes::take(const std::string& longCode) {
    const std::string shortCode(codepage::trim(firstChars(longCode, kCodeWidth)));
    const std::string& key = key_ == Key::LongCode ? longCode : shortCode;
    const bool repeated = !longCodesMet_.insert(longCode).second;

    std::string candidate;
    if (seen_.insert(key).second) {
        if (used(shortCode)) {
            candidate = renumbering_.first(subjectBase(shortCode),
                                           [&](const std::string& c) { return !used(c); });
        } else {
            candidate = longCode;
        }
        candidate = shortenCode(candidate);
    } else {
        candidate = shortCode;
    }

    if (used(candidate)) {
        if (repeated) return std::nullopt;
        candidate = shortenCode(freeNumbering_.firstShortened(
            subjectBase(shortCode), [&](const std::string& c) { return !used(shortenCode(c)); }));
    }
    used_.insert(candidate);
    return candidate;
}

FirstDenominacionByCode::FirstDenominacionByCode(const store::CentreDocument& doc,
                                                 std::string_view path) {
    for (const auto& element : doc.selectNodes(path)) {
        names_.try_emplace(element.attributeUnicode("Codigo"), element.attribute("Denominacion"));
    }
}

const std::string* FirstDenominacionByCode::find(std::string_view cp1252code) const {
    const auto it = names_.find(codepage::toUtf8(cp1252code));
    return it == names_.end() ? nullptr : &it->second;
}

}  // namespace lindavex::toworkdb
