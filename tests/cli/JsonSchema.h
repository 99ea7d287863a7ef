// A checker for the part of JSON Schema (draft 2020-12) the output schemas in docs/schema use:
// type, enum, const, properties, required, additionalProperties, items, minimum, maximum,
// minLength, pattern, allOf, anyOf, oneOf and $ref to a file of the folder and/or "#/$defs/NAME".
// A keyword outside that part is reported as an error, so a schema cannot say more than is checked.
#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

namespace wavory::test {

class CSchemaSet {
public:
    explicit CSchemaSet(std::string folder) : m_strFolder(std::move(folder)) {}
    // The reasons `value` does not fit the schema in `file` ("" each: it fits).
    std::vector<std::string> Check(const nlohmann::json& value, const std::string& file);

private:
    const nlohmann::json& Load(const std::string& file);
    void CheckAt(const nlohmann::json& value, const nlohmann::json& schema, const std::string& file,
                 const std::string& where, std::vector<std::string>& errors);

    std::string m_strFolder;
    std::map<std::string, nlohmann::json> m_Files;
};

}  // namespace wavory::test
