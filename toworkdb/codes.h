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
#include <vector>

#include "store/xml/centre_document.h"

namespace lindavex::toworkdb {

// The width of every code field the product keys by.
inline constexpr std::size_t kCodeWidth = 10;

// The first n characters of text (all of it when shorter).
std::string_view firstChars(std::string_view text, std::size_t n);

// A text as a field of `width` characters gives it back: cut, without its trailing blanks.
std::string asStored(std::string_view text, std::size_t width);

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

// How a teachers, rooms or groups step stores a code in its 10-character field.
enum class StoredForm {
    Cut,        // teachers: the field keeps the first 10 characters; the step remembers the
                // whole code
    Shortened,  // rooms and groups: codes longer than 10 become their first 8 and last 2
};

// The stored codes of a teachers, rooms or groups step, one per element of its whole list, in
// order. First each element gets the code the step's rules give it: a code met before in the
// step (ignoring letter case) is numbered from its first 10 characters, trimmed, then stored in
// its form. Those rules can store two elements alike (LABORATO-A01 and LABORATO-B01 both
// shorten to LABORATO01). Only then are such elements told apart: one keeps the code (the one
// stored under its own code, else the first), the others are numbered on, shortened to 8 + 2 so
// that the number stays, until their stored form is no element's code: no element ever takes a
// code another one keeps. Stored codes are unique ignoring letter case and trailing blanks.
std::vector<std::string> writtenCodes(const std::vector<std::string>& codes, StoredForm form);

// One list of elements written to ASIGNOMT: the trimmed Codigo of each, in document order, and
// the key under which the seen long codes list knows them.
struct SubjectList {
    enum class Key {
        LongCode,   // subjects
        ShortCode,  // activity types
    };
    std::vector<std::string> longCodes;
    Key key;
};

// COD of ASIGNOMT for each element of one step's list, over the run's two lists: used short
// codes (every COD written) and seen long codes (the keys already processed), both exact,
// letter case included; the step's codes and keys are entered into them. No value means no
// row, which only an element that repeats an earlier element's code gets (`earlierLongCodes`:
// an earlier step's elements in the same table). The rules give each element its code as if
// the whole table were written by them; an element they leave without a row although its code
// is new is then numbered on from its short code, to a code that no rule gives any element of
// this list or of `later` (a list a later step appends to the table) and that leaves what the
// later step's rules find free as they find it.
std::vector<std::optional<std::string>> subjectCodes(
    std::set<std::string>& usedShortCodes, std::set<std::string>& seenLongCodes,
    const SubjectList& list, const std::vector<std::string>& earlierLongCodes,
    const SubjectList* later);

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
