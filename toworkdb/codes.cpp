#include "toworkdb/codes.h"

#include <array>
#include <stdexcept>
#include <unordered_set>

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

// The field pads with blanks, so trailing blanks tell no two stored codes apart; nor does
// letter case.
std::string storedKey(std::string_view storedCode) {
    while (!storedCode.empty() && storedCode.back() == ' ') storedCode.remove_suffix(1);
    return foldCase(storedCode);
}

// The first 10 characters of a code, trimmed: where numbering starts, and a subject's short code.
std::string trimmedBase(std::string_view code) {
    return std::string(codepage::trim(firstChars(code, kCodeWidth)));
}

}  // namespace

std::string_view firstChars(std::string_view text, std::size_t n) { return text.substr(0, n); }

std::string asStored(std::string_view text, std::size_t width) {
    text = firstChars(text, width);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return std::string(text);
}

std::string shortenCode(std::string_view code) {
    if (code.size() <= kCodeWidth) return std::string(code);
    return std::string(code.substr(0, 8)) + std::string(code.substr(code.size() - 2));
}

namespace {

// Each code page byte's lower case, worked out once when compiling: every code written is
// folded to be told apart from the others.
constexpr std::array<unsigned char, 256> kLowerCase = [] {
    std::array<unsigned char, 256> lower{};
    for (unsigned b = 0; b < lower.size(); ++b) {
        lower[b] = static_cast<unsigned char>(b);
        if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7))
            lower[b] = static_cast<unsigned char>(b + 0x20);
        else if (b == 0x8A || b == 0x8C || b == 0x8E)  // Š Œ Ž
            lower[b] = static_cast<unsigned char>(b + 0x10);
        else if (b == 0x9F)  // Ÿ
            lower[b] = 0xFF;
    }
    return lower;
}();

}  // namespace

std::string foldCase(std::string_view cp1252) {
    std::string out(cp1252);
    for (char& c : out) c = static_cast<char>(kLowerCase[static_cast<unsigned char>(c)]);
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

std::vector<std::string> writtenCodes(const std::vector<std::string>& codes, StoredForm form) {
    // The rules, element by element: the list of codes handed out so far holds the whole code
    // for teachers and the stored form for rooms and groups, compared ignoring letter case.
    std::vector<std::string> stored;
    stored.reserve(codes.size());
    {
        std::unordered_set<std::string> handedOut;
        handedOut.reserve(codes.size());  // one code per element, no rehashing on the way
        CodeNumbering numbering;
        for (const std::string& code : codes) {
            std::string handed = code;
            if (handedOut.contains(foldCase(handed))) {
                handed = numbering.first(trimmedBase(code), [&](const std::string& c) {
                    return !handedOut.contains(foldCase(c));
                });
            }
            std::string storedCode = form == StoredForm::Cut
                                         ? std::string(firstChars(handed, kCodeWidth))
                                         : shortenCode(handed);
            handedOut.insert(foldCase(form == StoredForm::Cut ? handed : storedCode));
            stored.push_back(std::move(storedCode));
        }
    }

    // Who keeps each stored code: the element stored under its own code, so that other tables
    // naming it by that code find it, else the first.
    std::unordered_map<std::string, std::size_t> keeper;
    keeper.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const auto [it, added] = keeper.try_emplace(storedKey(stored[i]), i);
        if (!added && stored[it->second] != codes[it->second] && stored[i] == codes[i])
            it->second = i;
    }

    // The others are numbered on, past every code kept and every code numbered so far.
    std::unordered_set<std::string> taken;
    taken.reserve(keeper.size());
    for (const auto& entry : keeper) taken.insert(entry.first);
    CodeNumbering numbering;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (keeper.at(storedKey(stored[i])) == i) continue;
        stored[i] =
            shortenCode(numbering.firstShortened(trimmedBase(codes[i]), [&](const std::string& c) {
                return !taken.contains(storedKey(shortenCode(c)));
            }));
        taken.insert(storedKey(stored[i]));
    }
    return stored;
}

namespace {

// The subject rules over one list: each element's COD, or no value when its candidate is already
// used. Enters keys into seen and codes into used. Every code the rules look up and find free
// goes into foundFree when one is given.
std::vector<std::optional<std::string>> subjectRuleCodes(
    const SubjectList& list, std::set<std::string>& used, std::set<std::string>& seen,
    std::unordered_set<std::string>* foundFree) {
    const auto isUsed = [&](const std::string& code) {
        const bool taken = used.contains(code);
        if (!taken && foundFree != nullptr) foundFree->insert(code);
        return taken;
    };
    CodeNumbering numbering;
    std::vector<std::optional<std::string>> codes;
    codes.reserve(list.longCodes.size());
    for (const std::string& longCode : list.longCodes) {
        const std::string shortCode = trimmedBase(longCode);
        const std::string& key = list.key == SubjectList::Key::LongCode ? longCode : shortCode;
        std::string candidate;
        if (seen.insert(key).second) {
            candidate = isUsed(shortCode)
                            ? numbering.first(subjectBase(shortCode),
                                              [&](const std::string& c) { return !isUsed(c); })
                            : longCode;
            candidate = shortenCode(candidate);
        } else {
            candidate = shortCode;
        }
        if (isUsed(candidate)) {
            codes.emplace_back();
        } else {
            used.insert(candidate);
            codes.emplace_back(std::move(candidate));
        }
    }
    return codes;
}

}  // namespace

std::vector<std::optional<std::string>> subjectCodes(
    std::set<std::string>& usedShortCodes, std::set<std::string>& seenLongCodes,
    const SubjectList& list, const std::vector<std::string>& earlierLongCodes,
    const SubjectList* later) {
    auto codes = subjectRuleCodes(list, usedShortCodes, seenLongCodes, nullptr);

    // The later list's rules, tried on copies of the lists as the rules left them: a code they
    // find free must stay free, or the later elements would not get the codes the rules give
    // them.
    std::unordered_set<std::string> keepFree;
    if (later != nullptr) {
        std::set<std::string> used = usedShortCodes;
        std::set<std::string> seen = seenLongCodes;
        subjectRuleCodes(*later, used, seen, &keepFree);
    }

    std::unordered_set<std::string> met(earlierLongCodes.begin(), earlierLongCodes.end());
    CodeNumbering numbering;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const std::string& longCode = list.longCodes[i];
        const bool repeated = !met.insert(longCode).second;
        if (codes[i] || repeated) continue;
        std::string code = shortenCode(
            numbering.firstShortened(subjectBase(trimmedBase(longCode)), [&](const std::string& c) {
                const std::string storedCode = shortenCode(c);
                return !usedShortCodes.contains(storedCode) && !keepFree.contains(storedCode);
            }));
        usedShortCodes.insert(code);
        codes[i] = std::move(code);
    }
    return codes;
}

FirstDenominacionByCode::FirstDenominacionByCode(const store::CentreDocument& doc,
                                                 std::string_view path) {
    const store::AttributeName codigo = doc.attributeName("Codigo");
    const store::AttributeName denominacion = doc.attributeName("Denominacion");
    for (const auto& element : doc.selectNodes(path)) {
        names_.try_emplace(element.attributeUnicode(codigo), element.attribute(denominacion));
    }
}

const std::string* FirstDenominacionByCode::find(std::string_view cp1252code) const {
    const auto it = names_.find(codepage::toUtf8(cp1252code));
    return it == names_.end() ? nullptr : &it->second;
}

}  // namespace lindavex::toworkdb
