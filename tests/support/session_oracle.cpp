// SPDX-License-Identifier: MIT
#include "tests/support/session_oracle.h"

#include "persist/record_fields.h"
#include "persist/record_xml.h"
#include "xml/xml_reader.h"

namespace obexses::testing {
namespace {

using persist::Value;

Value AttributeOf(const xml::CXMLElement* element, std::u16string_view name) {
  const xml::CXMLElement* attribute = element->FindAttribute(name);
  return attribute != nullptr ? Value(attribute->Value()) : std::nullopt;
}

class TreeValues final : public persist::SessionValues {
 public:
  explicit TreeValues(const xml::CXMLElement* element) : element_(element) {}

  Value Attribute(std::u16string_view name) const override { return AttributeOf(element_, name); }
  Value ChildText(std::u16string_view name) const override {
    const xml::CXMLElement* child = element_->FindChild(name);
    return child != nullptr ? child->GetText() : std::nullopt;
  }
  Value RequestCount(std::u16string_view list) const override {
    const xml::CXMLElement* child = element_->FindChild(list);
    return child != nullptr ? AttributeOf(child, persist::kRequestCount) : std::nullopt;
  }
  void EachRequest(std::u16string_view list, persist::RequestReader& reader) const override {
    const xml::CXMLElement* parent = element_->FindChild(list);
    for (auto* child = parent->FirstChild(); child != nullptr; child = child->NextSibling()) {
      if (child->m_nType == xml::XML_ELEMENT && child->Name() == persist::kRequest)
        reader.Request(AttributeOf(child, persist::kRequestType), child->GetText());
    }
  }

 private:
  const xml::CXMLElement* element_;
};

template <typename RecordPtr, typename Read>
persist::LoadResult ReadTree(persist::Side side, std::u16string_view units, size_t bytes, Read read,
                             std::vector<RecordPtr>* records) {
  xml::CXMLReader reader;
  if (reader.LoadXMLUnits(std::u16string(units), bytes) == 0)
    return persist::LoadResult::kNotLoaded;
  const xml::CXMLElement* top = reader.m_pRoot->FindChild(persist::TopElementName(side));
  if (top == nullptr) return persist::LoadResult::kNoSessions;
  for (auto* child = top->FirstChild(); child != nullptr; child = child->NextSibling()) {
    if (child->m_nType == xml::XML_ELEMENT && child->Name() == u"session")
      records->emplace_back(read(TreeValues(child)));
  }
  return persist::LoadResult::kLoaded;
}

}  // namespace

persist::LoadResult ReadClientTree(std::u16string_view units, size_t bytes,
                                   std::vector<persist::ClientRecordDeepPtr>* records) {
  return ReadTree(persist::Side::kClient, units, bytes, persist::ReadClientSession, records);
}

persist::LoadResult ReadServerTree(std::u16string_view units, size_t bytes,
                                   std::vector<persist::ServerRecordDeepPtr>* records) {
  return ReadTree(persist::Side::kServer, units, bytes, persist::ReadServerSession, records);
}

}  // namespace obexses::testing
