#include "store/xml/result_writer.h"

#include <libxml/encoding.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/codepage.h"
#include "store/error.h"
#include "store/files/file_io.h"
#include "store/files/platform.h"
#include "store/xml/loaded_document.h"
#include "store/xml/xml_cp1252.h"

namespace lindavex::store {
namespace {

const xmlChar* xml(const char* text) { return reinterpret_cast<const xmlChar*>(text); }
const char* chars(const xmlChar* text) { return reinterpret_cast<const char*>(text); }

// XML cannot carry control characters other than tab and line ends, not even as references:
// written out, they would make a file that no reader accepts.
[[noreturn]] void controlCharacterError(const std::string& utf8Name, std::string_view cp1252value) {
    std::string message = "El atributo '" + utf8Name;
    message += "' no admite caracteres de control: '";
    message += codepage::toUtf8(cp1252value);
    message += "'.";
    throw Error(message);
}

// The permissions a replaced file keeps, or those of a newly made file.
unsigned permissionsFor(const std::filesystem::path& target) {
    platform::FileInfo info;
    if (platform::describe(target, info) == 0) return info.permissions;
    return platform::defaultPermissions();
}

[[noreturn]] void throwWriteError(const std::filesystem::path& target, int code) {
    throw fileError("No se puede escribir el archivo", target, reasonText(code));
}

// What each code page byte becomes in the output: its UTF-8 form, or, where the writer encodes
// by itself, its bytes in the file's encoding.
using ByteForms = std::array<std::string, 256>;

const ByteForms& utf8Forms() {
    static const ByteForms forms = [] {
        ByteForms table;
        for (int byte = 0; byte < 256; ++byte)
            table[static_cast<std::size_t>(byte)] =
                codepage::toUtf8(std::string(1, static_cast<char>(byte)));
        return table;
    }();
    return forms;
}

// Each code page byte as libxml2's encoder writes its character: through the encoding's own
// conversion, or, for a character the encoding lacks, as a decimal character reference. No
// value when the encoder cannot be used so, one character at a time (an encoding that keeps
// state, or one that does not write ASCII as it is): libxml2 then encodes the whole output.
std::optional<ByteForms> encodedForms(xmlCharEncodingHandler* handler) {
    if (handler == nullptr || handler->output == nullptr) return std::nullopt;
    ByteForms table;
    for (int byte = 0; byte < 256; ++byte) {
        const std::string& utf8 = utf8Forms()[static_cast<std::size_t>(byte)];
        std::array<unsigned char, 16> out{};
        int outLength = static_cast<int>(out.size());
        int inLength = static_cast<int>(utf8.size());
        const int result = handler->output(
            out.data(), &outLength, reinterpret_cast<const unsigned char*>(utf8.data()), &inLength);
        std::string& form = table[static_cast<std::size_t>(byte)];
        if (result >= 0 && inLength == static_cast<int>(utf8.size())) {
            form.assign(reinterpret_cast<const char*>(out.data()),
                        static_cast<std::size_t>(outLength));
        } else if (result == -2 && inLength == 0) {
            form = "&#" +
                   std::to_string(static_cast<unsigned>(
                       codepage::codePointOf(static_cast<unsigned char>(byte)))) +
                   ";";
        } else {
            return std::nullopt;
        }
        if (byte < 0x80 && form != std::string(1, static_cast<char>(byte))) return std::nullopt;
    }
    return table;
}

// Appends code page text as an attribute value, escaped as libxml2 escapes it when it saves a
// document with a declared encoding: markup characters and the three blanks other than the
// space as references, every other byte in its form (UTF-8 for libxml2's encoder, or already
// encoded). One pass, with no text made per value.
// A control character other than tab and line ends has no place in a value: false for one.
bool appendAttributeText(std::string& out, std::string_view cp1252, const ByteForms& forms) {
    // The bytes written as they are, as most bytes of a value are: one look each.
    static constexpr std::array<bool, 256> kAsItIs = [] {
        std::array<bool, 256> asItIs{};
        for (unsigned b = 0x20; b < 0x80; ++b)
            asItIs[b] = b != '"' && b != '<' && b != '>' && b != '&';
        return asItIs;
    }();
    // Bytes written as they are go out a run at a time.
    std::size_t run = 0;
    for (std::size_t i = 0; i < cp1252.size(); ++i) {
        const char c = cp1252[i];
        if (kAsItIs[static_cast<unsigned char>(c)]) continue;
        const char* reference = nullptr;
        switch (c) {
            case '\n':
                reference = "&#10;";
                break;
            case '\r':
                reference = "&#13;";
                break;
            case '\t':
                reference = "&#9;";
                break;
            case '"':
                reference = "&quot;";
                break;
            case '<':
                reference = "&lt;";
                break;
            case '>':
                reference = "&gt;";
                break;
            case '&':
                reference = "&amp;";
                break;
            default:
                if (static_cast<unsigned char>(c) >= 0x80) break;
                if (static_cast<unsigned char>(c) < 0x20) return false;
                continue;
        }
        out.append(cp1252.data() + run, i - run);
        if (reference != nullptr)
            out += reference;
        else
            out += forms[static_cast<unsigned char>(c)];
        run = i + 1;
    }
    out.append(cp1252.data() + run, cp1252.size() - run);
    return true;
}

// Text in quotes as libxml2 writes the declaration's values: double ones unless the text holds
// one.
void appendQuoted(std::string& out, std::string_view text) {
    const char quote = text.find('"') == std::string_view::npos ? '"' : '\'';
    out += quote;
    out += text;
    out += quote;
}

struct CloseEncoder {
    void operator()(xmlCharEncodingHandler* handler) const { xmlCharEncCloseFunc(handler); }
};
struct CloseBuffer {
    void operator()(xmlOutputBuffer* buffer) const { xmlOutputBufferClose(buffer); }
};

class StreamingWriter final : public ElementWriter {
  public:
    StreamingWriter(xmlDoc* doc, const std::filesystem::path& target)
        : target_(target), file_(target, permissionsFor(target)) {
        registerWindows1252Encoding();
        // The loaded file's declared encoding, as libxml2 takes it when it saves a document.
        encoding_ = doc->encoding != nullptr ? chars(doc->encoding) : "UTF-8";
        // Owned here until the buffer takes it; a failure before that closes it.
        std::unique_ptr<xmlCharEncodingHandler, CloseEncoder> handler(
            xmlFindCharEncodingHandler(encoding_.c_str()));
        if (handler == nullptr)
            throw fileError("No se puede escribir el archivo", target,
                            "el documento no se puede codificar");
        if (const int code = file_.create(); code != 0) throwWriteError(target_, code);
        out_.reset(xmlOutputBufferCreateIO(&StreamingWriter::toFile, nullptr, this, handler.get()));
        if (out_ == nullptr) throw std::bad_alloc();
        handler.release();
        // A failure from here on still closes the buffer and its encoder: out_ is a member.
        writeOutsideRoot(doc);
        // The new root is encoded here when the encoding allows it, straight into the file's
        // bytes, rather than made UTF-8 and converted again by libxml2: what lies before it is
        // handed on first.
        direct_ = encodedForms(out_->encoder);
        if (direct_) {
            if (xmlOutputBufferFlush(out_.get()) < 0 || out_->error != 0) fail();
            forms_ = &*direct_;
            // From here on the staged text is the file's own bytes, gathered in one place.
            staged_.swap(pending_);
        }
    }

    ~StreamingWriter() override = default;

    StreamingWriter(const StreamingWriter&) = delete;
    StreamingWriter& operator=(const StreamingWriter&) = delete;

    Name elementName(std::string_view name) override { return validName(name, "elemento"); }
    Name attributeName(std::string_view name) override { return validName(name, "atributo"); }

    void startElement(Name name) override {
        if (startTagOpen_) staged_ += '>';
        open_.push_back(name);
        staged_ += '<';
        staged_ += nameForms_.at(name);
        startTagOpen_ = true;
    }

    void attribute(Name name, std::string_view cp1252value) override {
        if (!startTagOpen_) throw Error("No hay elemento al que poner el atributo.");
        appendAttribute(staged_, name, cp1252value);
    }

    std::string preparedAttribute(Name name, std::string_view cp1252value) const override {
        std::string prepared;
        appendAttribute(prepared, name, cp1252value);
        return prepared;
    }

    void attributeAsPrepared(std::string_view prepared) override {
        if (!startTagOpen_) throw Error("No hay elemento al que poner el atributo.");
        staged_ += prepared;
    }

    void endElement() override {
        if (open_.empty()) throw Error("No hay elemento que cerrar.");
        if (startTagOpen_) {
            staged_ += "/>";
        } else {
            staged_ += "</";
            staged_ += nameForms_[open_.back()];
            staged_ += '>';
        }
        open_.pop_back();
        startTagOpen_ = false;
        if (staged_.size() >= kStageSize) pass();
    }

    void commit() override {
        while (!open_.empty()) endElement();
        staged_ += '\n';
        pass(true);
        const int closed = xmlOutputBufferClose(out_.release());
        if (closed < 0 || error_ != 0) fail();
        if (const int code = file_.write(pending_); code != 0) throwWriteError(target_, code);
        if (const int code = file_.commit(); code != 0) throwWriteError(target_, code);
    }

  private:
    static constexpr std::size_t kStageSize = std::size_t{64} << 10;
    static constexpr std::size_t kWriteSize = std::size_t{1} << 20;

    // The declaration, then whatever lies outside the root, each followed by a line end, as
    // libxml2 saves them; the new root comes after them all.
    void writeOutsideRoot(xmlDoc* doc) {
        staged_ = "<?xml version=";
        appendQuoted(staged_, doc->version != nullptr ? chars(doc->version) : "1.0");
        staged_ += " encoding=";
        appendQuoted(staged_, encoding_);
        if (doc->standalone == 0) staged_ += " standalone=\"no\"";
        if (doc->standalone == 1) staged_ += " standalone=\"yes\"";
        staged_ += "?>\n";
        pass();
        for (xmlNode* child = doc->children; child != nullptr; child = child->next) {
            if (child->type == XML_ELEMENT_NODE) continue;
            xmlNodeDumpOutput(out_.get(), doc, child, 0, 0, encoding_.c_str());
            xmlOutputBufferWrite(out_.get(), 1, "\n");
        }
        if (out_->error != 0) fail();
    }

    // Names come from the program, a handful of them, each named once by its writer: checked
    // then, and written by number.
    Name validName(std::string_view name, const char* what) {
        const std::string utf8Name = codepage::toUtf8(name);
        for (Name known = 0; known < names_.size(); ++known)
            if (names_[known] == utf8Name) return known;
        if (xmlValidateName(xml(utf8Name.c_str()), 0) != 0)
            throw Error("'" + utf8Name + "' no es un nombre de " + what + " válido.");
        names_.push_back(utf8Name);
        std::string form;
        for (const char c : name) form += (*forms_)[static_cast<unsigned char>(c)];
        attributeStarts_.push_back(' ' + form + "=\"");
        nameForms_.push_back(std::move(form));
        return names_.size() - 1;
    }

    // ` name="value"` as written, the value checked as it is written: one that cannot be is
    // taken back.
    void appendAttribute(std::string& out, Name name, std::string_view cp1252value) const {
        const std::size_t before = out.size();
        out += attributeStarts_.at(name);
        if (!appendAttributeText(out, cp1252value, *forms_)) {
            out.resize(before);
            controlCharacterError(names_[name], cp1252value);
        }
        out += '"';
    }

    // Hands the staged UTF-8 text to libxml2, which encodes it; or, when the writer encodes the
    // root itself, writes the staged bytes once a piece has gathered (or all of them, last).
    void pass(bool last = false) {
        if (staged_.empty()) return;
        if (direct_) {
            if (!last && staged_.size() < kWriteSize) return;
            if (const int code = file_.write(staged_); code != 0) throwWriteError(target_, code);
            staged_.clear();
            return;
        }
        if (xmlOutputBufferWrite(out_.get(), static_cast<int>(staged_.size()), staged_.data()) < 0)
            fail();
        staged_.clear();
    }

    // libxml2's output: gathered, and written to the file in large pieces.
    static int toFile(void* context, const char* bytes, int size) {
        auto* self = static_cast<StreamingWriter*>(context);
        self->pending_.append(bytes, static_cast<std::size_t>(size));
        if (self->pending_.size() >= kWriteSize) {
            if (const int code = self->file_.write(self->pending_); code != 0) {
                self->error_ = code;
                return -1;
            }
            self->pending_.clear();
        }
        return size;
    }

    [[noreturn]] void fail() {
        if (error_ != 0) throwWriteError(target_, error_);
        throw fileError("No se puede escribir el archivo", target_,
                        "el documento no se puede codificar");
    }

    const QuietLibxml quiet_;
    std::filesystem::path target_;
    file_io::FileBeside file_;
    std::string encoding_;
    std::string staged_;
    std::string pending_;
    int error_ = 0;
    std::optional<ByteForms> direct_;  // when the writer encodes the new root itself
    const ByteForms* forms_ = &utf8Forms();
    std::vector<Name> open_;
    std::vector<std::string> names_;            // UTF-8, by Name
    std::vector<std::string> nameForms_;        // as written, by Name
    std::vector<std::string> attributeStarts_;  // ` name="` as written, by Name
    bool startTagOpen_ = false;
    // Last, so that it goes first: closing it may still hand output to toFile.
    std::unique_ptr<xmlOutputBuffer, CloseBuffer> out_;
};

}  // namespace

std::unique_ptr<ElementWriter> streamReplacingRoot(const CentreDocument& document,
                                                   const std::filesystem::path& target) {
    return std::make_unique<StreamingWriter>(document.impl_->outside.get(), target);
}

}  // namespace lindavex::store
