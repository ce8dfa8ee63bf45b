// What the centre document answers against what libxml2's own whole tree of the same file
// answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "store/codepage.h"
#include "store/error.h"
#include "store/xml/centre_document.h"
#include "support/files.h"
#include "support/libxml_reference.h"
#include "support/scratch_dir.h"
#include "tools/centre_generator.h"

namespace lindavex::store {
namespace {

using testing::ReferenceTree;
using testing::ScratchDir;
using testing::writeBytes;

const char* const kPaths[] = {"/Centro",
                              "/Centro/Materias/Materia",
                              "/Centro/TiposActividad/TipoActividad",
                              "/Centro/Profesores/Profesor",
                              "/Centro/Aulas/Aula",
                              "/Centro/Grupos/Grupo",
                              "/Centro/Grupos/Grupo/MateriasGrupo/MateriaGrupo",
                              "/Centro/Sesiones/Sesion",
                              "/Centro/horario",
                              "/Centro/p:Materias/p:Materia",
                              "/Centro/q:Aulas",
                              "Centro/Materias",
                              "/centro"};
const char* const kAttributes[] = {"Codigo", "Denominacion", "Nombre",  "Apellido1",
                                   "Horas",  "Dia",          "Extra",   "p:otro",
                                   "otro",   "xmlns",        "xmlns:p", "Falta"};

// An attribute read by a name looked up once, as the steps read them, again by its name, and as
// a view: all must agree, in the code page and as Unicode.
std::string attributeByBothNames(const CentreDocument& doc, const Node& node, const char* name) {
    const auto outcome = [](const auto& read) {
        try {
            return read();
        } catch (const Error& e) {
            return std::string(e.what());
        }
    };
    const AttributeName looked = doc.attributeName(name);
    const std::string byName = outcome([&] { return node.attribute(name); });
    const std::string earlier = "an earlier read";
    const std::string unicode = outcome([&] { return node.attributeUnicode(name); });
    if (outcome([&] { return node.attribute(looked); }) != byName ||
        outcome([&] { return node.attributeUnicode(looked); }) != unicode ||
        outcome([&] {
            std::string scratch = earlier;
            return std::string(node.attributeUnicodeView(looked, scratch));
        }) != unicode)
        return byName + " (read otherwise by a name looked up once)";
    // As a view, with a scratch string that holds an earlier read: the scratch string changes
    // only when the view is of it.
    std::string scratch = earlier;
    const std::string viewed = outcome([&] {
        const std::string_view view = node.attributeView(looked, scratch);
        const std::less_equal<const char*> before;
        const bool ofScratch = before(scratch.data(), view.data()) &&
                               before(view.data() + view.size(), scratch.data() + scratch.size());
        if (view.data() == nullptr) return std::string("a view of no text");
        return !ofScratch && scratch != earlier ? "scratch changed" : std::string(view);
    });
    if (viewed != byName) return byName + " (read otherwise as a view: " + viewed + ")";
    return byName;
}

// Everything the steps can learn of the nodes at each path: their count, and per node its name,
// line, parent and attributes (read, or the error reading gives).
std::vector<std::string> answers(const CentreDocument& doc) {
    std::vector<std::string> out{!doc.documentElement() ? "empty" : doc.documentElement().name()};
    for (const char* path : kPaths) {
        const std::vector<Node> nodes = doc.selectNodes(path);
        out.push_back(std::string(path) + " " + std::to_string(nodes.size()));
        for (const Node& node : nodes) {
            out.push_back(node.name() + " line " + std::to_string(node.line()) + " in " +
                          node.parentNode().name());
            for (const char* name : kAttributes) {
                out.push_back(std::string(name) + (node.hasAttribute(name) ? "=" : "?") +
                              attributeByBothNames(doc, node, name));
            }
        }
    }
    return out;
}

// The same asked of libxml2's tree, in the code page as the document gives it.
std::vector<std::string> answers(const ReferenceTree& tree) {
    const auto name = [](const xmlNode* node) {
        return node == nullptr ? std::string() : codepage::fromUtf8(ReferenceTree::name(node));
    };
    std::vector<std::string> out{tree.root() == nullptr ? "empty" : name(tree.root())};
    for (const char* path : kPaths) {
        const std::vector<const xmlNode*> nodes = tree.select(path);
        out.push_back(std::string(path) + " " + std::to_string(nodes.size()));
        for (const xmlNode* node : nodes) {
            out.push_back(name(node) + " line " + std::to_string(ReferenceTree::line(node)) +
                          " in " + name(ReferenceTree::parent(node)));
            for (const char* attribute : kAttributes) {
                std::string value;
                bool present = true;
                try {
                    const std::optional<std::string> text = tree.attribute(node, attribute);
                    present = text.has_value();
                    value = codepage::fromUtf8(text.value_or(""));
                } catch (const Error& e) {
                    value = e.what();
                }
                out.push_back(std::string(attribute) + (present ? "=" : "?") + value);
            }
        }
    }
    return out;
}

void expectSameAnswers(const std::string& bytes, const std::string& label) {
    SCOPED_TRACE(label);
    ScratchDir dir;
    writeBytes(dir / "centro.xml", bytes);
    CentreDocument doc;
    doc.load(dir / "centro.xml");
    EXPECT_EQ(answers(doc), answers(ReferenceTree(dir / "centro.xml")));
}

TEST(CompactForm, AnswersAsTheWholeTreeDoes) {
    std::ostringstream school;
    tools::writeSyntheticCentre(school, 1);
    std::string manyLines = "<Centro>";
    for (int i = 0; i < 70000; ++i) manyLines += "\n";
    manyLines += "<Materias><Materia Codigo='late'/></Materias></Centro>";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"synthetic school", school.str()},
        {"entities",
         "<?xml version='1.0'?><!DOCTYPE Centro [<!ENTITY n 'Monta&#241;a'>"
         "<!ENTITY full ' IES &n; &amp; &#38;#60;'><!ENTITY m \"<Materia Codigo='E'/>\">"
         "<!ATTLIST Materia Denominacion CDATA 'por defecto'>]>"
         "<Centro Nombre='&full; ' Codigo='&#38;&lt;&#x41;'><Materias>&m;"
         "<Materia Codigo='  a\tb\nc  '/><!-- dentro --><?pi x?><![CDATA[<Materia/>]]>"
         "</Materias></Centro>"},
        {"namespaces",
         "<Centro xmlns='urn:c' xmlns:p='urn:p' p:otro='1' otro='2'><p:Materias>"
         "<p:Materia Codigo='P'/><Materia Codigo='N'/></p:Materias><Materias>"
         "<Materia Codigo='M'/></Materias><q:Aulas/></Centro>"},
        {"windows-1252",
         "<?xml version='1.0' encoding='windows-1252'?><Centro Nombre='\x80\x81'>"
         "<Aulas><Aula Codigo='\xD1'/></Aulas></Centro>"},
        {"values the parser copies, with and without references",
         "<Centro Nombre='Ingl\xC3\xA9s' Codigo='Ingl\xC3\xA9s &amp; m\xC3\xA1s' "
         "Denominacion='\xC3\xA9&#233;&#38;' Horas='\xC3\xB1\t\r\n'/>"},
        {"blanks and characters the code page lacks, in entities and out",
         "<!DOCTYPE Centro [<!ENTITY o '&#9; \xCE\xA9 '><!ENTITY e ''>]><Centro "
         "Nombre=' \xCE\xA9x\xF0\x9F\x98\x80\t' Codigo='&o;&#x20AC;&o;' Denominacion='&e;' "
         "Apellido1='&#9;&#10;&#13; ' Horas='&e; &amp; ' Dia='\xE2\x82\xAC'><Materias>"
         "<Materia Codigo='&o;'/><Materia Codigo=' MAT '/></Materias></Centro>"},
        {"lines past 16 bits", manyLines},
        {"not well-formed", "<Centro><Materias></Centro>"},
        {"another root", "<Escuela Codigo='1'/>"},
        {"bounded expansion", "<!DOCTYPE Centro [<!ENTITY e '" + std::string(100000, 'x') +
                                  "'>]><Centro Nombre='" +
                                  [] {
                                      std::string uses;
                                      for (int i = 0; i < 200; ++i) uses += "&e;";
                                      return uses;
                                  }() +
                                  "'/>"},
    };
    for (const auto& [label, bytes] : files) expectSameAnswers(bytes, label);
}

}  // namespace
}  // namespace lindavex::store
