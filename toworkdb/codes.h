#pragma once
// Short codes of the work tables. The Morvalen product keys subjects, teachers, rooms and groups
// by codes of at most 10 characters, unique in their table, while the centre file's codes may be
// longer and may repeat. These are the rules that turn one into the other, shared by the steps
// that write ASIGNOMT, PROFT, AULAT and GRUPOST.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "store/centre_document.h"

namespace lindavex::toworkdb {

// The width of every code field the product keys by.
inline constexpr std::size_t kCodeWidth = 10;

// The first n characters of text (all of it when shorter).
std::string_view firstChars(std::string_view text, std::size_t n);

// A code longer than 10 characters becomes its first 8 and last 2 characters.
std::string shortenCode(std::string_view code);

// The key under which codes that differ only in letter case are equal: ASCII and the letters
// of the code page (À-Þ, Š, Œ, Ž, Ÿ) folded to lower case.
std::string foldCase(std::string_view cp1252);

// Numbered codes: base followed by 1, 2, 3 ... in decimal, no leading zeros, no separator.
// An instance serves one kind of test, whose answer for a code may turn from free to taken but
// never back (the sets it consults only grow): so a search resumes at the number where the
// last one for the same base stopped, with the same answer as counting from 1.
class CodeNumbering {
  public:
    using IsFree = std::function<bool(const std::string& numbered)>;

    // The first numbered code that isFree accepts.
    std::string first(const std::string& base, const IsFree& isFree);

    // The same for a test on the code's shortened form (shortenCode). A base has only so many
    // shortened forms (a 9-character base about a hundred); when isFree refuses them all, the
    // base loses its last character and the search goes on, so a free code is always found.
    std::string firstShortened(std::string base, const IsFree& isFree);

  private:
    std::optional<std::string> search(const std::string& base, const IsFree& isFree,
                                      std::uint64_t lastNumber);
    std::unordered_map<std::string, std::uint64_t> resumeAt_;
};

// The codes handed out by one run of the teachers, rooms or groups step. A code met before in
// the step (ignoring letter case) is numbered from the first 10 characters of the code, trimmed.
// Every stored code is unique in the table, ignoring letter case: a code whose stored form is
// taken, though the code itself was new (LABORATO-A01 then LABORATO-B01 both shorten to
// LABORATO01), is numbered on until its shortened form is free.
class WrittenCodes {
  public:
    enum class Stored {
        Cut,        // teachers: the field keeps the first 10 characters; the step remembers
                    // the whole code
        Shortened,  // rooms and groups: codes longer than 10 become their first 8 and last 2
    };
    explicit WrittenCodes(Stored stored) : stored_(stored) {}

    // The code to store for an element whose code reads `code`; it counts as written from now.
    std::string take(std::string_view code);

  private:
    bool handedOut(const std::string& code) const;
    bool storedTaken(const std::string& storedCode) const;
    static std::string storedKey(std::string_view storedCode);

    Stored stored_;
    std::unordered_set<std::string> handedOut_;    // folded, in the form the step remembers
    std::unordered_set<std::string> storedForms_;  // storedKey of every stored code
    CodeNumbering renumbering_;
    CodeNumbering freeNumbering_;
};

// COD of ASIGNOMT, over the run's two lists: used short codes (every COD written) and seen long
// codes (the keys already processed). Both compare exactly, letter case included. One instance
// serves one step.
class SubjectCodes {
  public:
    enum class Key {
        LongCode,
        ShortCode
    };  // subjects key by the long code, activity types
        // by the short code

    SubjectCodes(std::set<std::string>& usedShortCodes, std::set<std::string>& seenLongCodes,
                 Key key)
        : used_(usedShortCodes), seen_(seenLongCodes), key_(key) {}

    // An element of an earlier step with this long code (the subjects, for activity types).
    void noteEarlierLongCode(std::string_view longCode) { longCodesMet_.emplace(longCode); }

    // The COD for an element whose Codigo reads longCode (trimmed), or no value when the element
    // gets no row: only an element that repeats an earlier element's code is left out. A new code
    // whose candidate is taken is numbered on from its short code until the stored form is free.
    std::optional<std::string> take(const std::string& longCode);

  private:
    bool used(const std::string& code) const { return used_.contains(code); }

    std::set<std::string>& used_;
    std::set<std::string>& seen_;
    Key key_;
    std::unordered_set<std::string> longCodesMet_;
    CodeNumbering renumbering_;
    CodeNumbering freeNumbering_;
};

// The Denominacion of the first element at a path, by the element's Codigo: the department and
// teaching lookups. Codes compare as Unicode text, exactly; a code page code is compared after
// its conversion back, so a character the code page lacks ('?') matches nothing but '?'.
class FirstDenominacionByCode {
  public:
    FirstDenominacionByCode(const store::CentreDocument& doc, std::string_view path);

    // The name for a code in the code page, or nullptr when no element carries it.
    const std::string* find(std::string_view cp1252code) const;

  private:
    std::unordered_map<std::string, std::string> names_;  // Codigo as UTF-8 -> Denominacion
};

}  // namespace lindavex::toworkdb
