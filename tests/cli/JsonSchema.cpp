#include "JsonSchema.h"

#include <fstream>
#include <regex>
#include <set>
#include <stdexcept>

namespace wavory::test {

using nlohmann::json;

namespace {

bool HasType(const json& value, const std::string& type) {
    if (type == "null") return value.is_null();
    if (type == "boolean") return value.is_boolean();
    if (type == "integer") return value.is_number_integer();
    if (type == "number") return value.is_number();
    if (type == "string") return value.is_string();
    if (type == "array") return value.is_array();
    if (type == "object") return value.is_object();
    throw std::runtime_error("unknown type in a schema: " + type);
}

const std::set<std::string> kKnown = {"$schema",
                                      "$id",
                                      "title",
                                      "description",
                                      "$defs",
                                      "type",
                                      "enum",
                                      "const",
                                      "properties",
                                      "required",
                                      "additionalProperties",
                                      "items",
                                      "minimum",
                                      "maximum",
                                      "minLength",
                                      "pattern",
                                      "allOf",
                                      "anyOf",
                                      "oneOf",
                                      "$ref"};

}  // namespace

const json& CSchemaSet::Load(const std::string& file) {
    auto it = m_Files.find(file);
    if (it != m_Files.end()) return it->second;
    std::ifstream in(m_strFolder + "/" + file);
    if (!in) throw std::runtime_error("no schema file " + file);
    return m_Files.emplace(file, json::parse(in)).first->second;
}

std::vector<std::string> CSchemaSet::Check(const json& value, const std::string& file) {
    std::vector<std::string> errors;
    CheckAt(value, Load(file), file, "", errors);
    return errors;
}

void CSchemaSet::CheckAt(const json& value, const json& schema, const std::string& file,
                         const std::string& where, std::vector<std::string>& errors) {
    const std::string at = where.empty() ? "(top)" : where;
    if (schema.is_boolean()) {
        if (!schema.get<bool>()) errors.push_back(at + ": not allowed here");
        return;
    }
    for (auto it = schema.begin(); it != schema.end(); ++it)
        if (!kKnown.count(it.key()))
            errors.push_back(at + ": the checker does not know the keyword " + it.key());

    if (schema.contains("$ref")) {
        const std::string ref = schema["$ref"];
        const std::size_t hash = ref.find('#');
        const std::string target = hash == 0 ? file : ref.substr(0, hash);
        const json* node = &Load(target);
        if (hash != std::string::npos) {
            const std::string pointer = ref.substr(hash + 1);
            if (!pointer.empty()) node = &node->at(json::json_pointer(pointer));
        }
        CheckAt(value, *node, target, where, errors);
    }
    if (schema.contains("type")) {
        const json& type = schema["type"];
        bool fits = false;
        if (type.is_array()) {
            for (const auto& t : type) fits = fits || HasType(value, t.get<std::string>());
        } else {
            fits = HasType(value, type.get<std::string>());
        }
        if (!fits) {
            errors.push_back(at + ": " + value.dump() + " is not of type " + type.dump());
            return;
        }
    }
    if (schema.contains("enum")) {
        bool found = false;
        for (const auto& option : schema["enum"]) found = found || option == value;
        if (!found) errors.push_back(at + ": " + value.dump() + " is not one of " + schema["enum"].dump());
    }
    if (schema.contains("const") && schema["const"] != value)
        errors.push_back(at + ": " + value.dump() + " is not " + schema["const"].dump());
    if (value.is_number()) {
        if (schema.contains("minimum") && value.get<double>() < schema["minimum"].get<double>())
            errors.push_back(at + ": " + value.dump() + " is below " + schema["minimum"].dump());
        if (schema.contains("maximum") && value.get<double>() > schema["maximum"].get<double>())
            errors.push_back(at + ": " + value.dump() + " is above " + schema["maximum"].dump());
    }
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        if (schema.contains("minLength") && text.size() < schema["minLength"].get<std::size_t>())
            errors.push_back(at + ": \"" + text + "\" is too short");
        if (schema.contains("pattern") &&
            !std::regex_search(text, std::regex(schema["pattern"].get<std::string>())))
            errors.push_back(at + ": \"" + text + "\" does not match " +
                             schema["pattern"].get<std::string>());
    }
    if (value.is_object()) {
        for (const auto& name : schema.value("required", json::array()))
            if (!value.contains(name.get<std::string>()))
                errors.push_back(at + ": the key " + name.get<std::string>() + " is missing");
        const json properties = schema.value("properties", json::object());
        for (auto it = value.begin(); it != value.end(); ++it) {
            const std::string inner = where + "/" + it.key();
            if (properties.contains(it.key())) {
                CheckAt(*it, properties[it.key()], file, inner, errors);
            } else if (schema.contains("additionalProperties")) {
                CheckAt(*it, schema["additionalProperties"], file, inner, errors);
            }
        }
    }
    if (value.is_array() && schema.contains("items"))
        for (std::size_t i = 0; i < value.size(); ++i)
            CheckAt(value[i], schema["items"], file, where + "/" + std::to_string(i), errors);

    for (const auto& part : schema.value("allOf", json::array())) CheckAt(value, part, file, where, errors);
    for (const char* keyword : {"anyOf", "oneOf"}) {
        if (!schema.contains(keyword)) continue;
        int fitting = 0;
        std::vector<std::string> why;
        for (const auto& option : schema[keyword]) {
            std::vector<std::string> optionErrors;
            CheckAt(value, option, file, where, optionErrors);
            if (optionErrors.empty())
                ++fitting;
            else
                why.push_back(optionErrors.front());
        }
        const bool oneOf = std::string(keyword) == "oneOf";
        if (fitting == 0 || (oneOf && fitting > 1)) {
            std::string text = at + ": fits " + std::to_string(fitting) + " of the " + keyword + " options";
            for (const auto& w : why) text += "; " + w;
            errors.push_back(text);
        }
    }
}

}  // namespace wavory::test
