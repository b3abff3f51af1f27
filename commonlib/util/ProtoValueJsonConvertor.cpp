#include "commonlib/util/ProtoValueJsonConvertor.h"

#include <json/json.h>

#include <exception>

#include "commonlib/logger/Log.h"
#include "platform/text.h"

namespace {

// A scalar target keeps its value until a container conversion actually adds to it; then it gives
// way instead of making the conversion throw.
void PrepareContainer(ProtoValue& target, ProtoValueType kind) {
  if (target.type() != PV_NULL && target.type() != kind) target.clear();
}

bool JsonValueToProto(const Json::Value& json, ProtoValue& target) {
  switch (json.type()) {
    case Json::nullValue: target.clear(); return true;
    case Json::intValue: target = static_cast<int64_t>(json.asInt64()); return true;
    case Json::uintValue: target = static_cast<int64_t>(json.asUInt64()); return true;
    case Json::realValue: target = json.asDouble(); return true;
    case Json::stringValue: target = platform::Utf8ToWide(json.asString()); return true;
    case Json::booleanValue: target = json.asBool() ? 1 : 0; return true;
    case Json::arrayValue:
      for (const Json::Value& item : json) {
        ProtoValue element;
        JsonValueToProto(item, element);
        PrepareContainer(target, PV_ARRAY);
        target.push_back(std::move(element));
      }
      return true;
    case Json::objectValue:
      // Member names come sorted by byte value.
      for (const std::string& name : json.getMemberNames()) {
        ProtoValue entry;
        JsonValueToProto(json[name], entry);
        PrepareContainer(target, PV_MAP);
        target[platform::Utf8ToWide(name)] = std::move(entry);
      }
      return true;
  }
  return false;
}

bool ProtoToJsonValue(const ProtoValue& value, Json::Value& json) {
  switch (value.type()) {
    case PV_NULL: json = Json::Value(Json::nullValue); return true;
    case PV_INTEGER: json = Json::Value(static_cast<Json::Int64>(value.integer())); return true;
    case PV_REAL: json = Json::Value(value.real()); return true;
    case PV_STRING: json = Json::Value(platform::WideToUtf8(value.string())); return true;
    case PV_ARRAY:
      json = Json::Value(Json::arrayValue);
      for (const ProtoValue& element : *value.GetArray()) {
        Json::Value item;
        if (!ProtoToJsonValue(element, item)) item = Json::Value(Json::nullValue);
        json.append(std::move(item));
      }
      return true;
    case PV_MAP:
      json = Json::Value(Json::objectValue);
      for (const auto& [key, entry] : *value.GetMap()) {
        Json::Value item;
        if (!ProtoToJsonValue(entry, item)) item = Json::Value(Json::nullValue);
        json[platform::WideToUtf8(key)] = std::move(item);
      }
      return true;
    case PV_BINARY: return false;
  }
  return false;
}

// The reader refuses nesting beyond its stack limit by throwing; that is a parse error like any
// other, reported through `errors`.
bool ParseJson(const std::string& text, Json::Value& root, std::string& errors) {
  Json::Reader reader;
  try {
    if (reader.parse(text, root, true)) return true;
    errors = reader.getFormattedErrorMessages();
  } catch (const std::exception& e) {
    errors = e.what();
  }
  return false;
}

}  // namespace

bool JsonToProtoValue(const std::wstring& json, ProtoValue& target) {
  const std::wstring_view text(json.c_str());
  Json::Value root;
  std::string errors;
  if (!ParseJson(platform::WideToUtf8(text), root, errors)) {
    LOGE(L"解析 AddGameInvite json失败，data:%s error:%s", json, platform::AnsiToWide(errors));
    return false;
  }
  return JsonValueToProto(root, target);
}

bool ProtoValueToJson(const ProtoValue& value, std::wstring& json) {
  Json::Value root;
  if (!ProtoToJsonValue(value, root)) return false;
  json = platform::Utf8ToWide(root.toStyledString());
  return true;
}
