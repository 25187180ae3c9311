#include "drumset/DrumSetJson.h"

#include <limits>
#include <string>

#include "drumset/TextEncoding.h"

namespace thumper {

namespace {

using ordered_json = nlohmann::ordered_json;
using json = nlohmann::json;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw JsonImportError(where + ": " + what);
}

int32_t ReadInt(const json& value, const std::string& where) {
  if (value.is_number_integer()) {
    const auto v = value.get<int64_t>();
    if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
      return static_cast<int32_t>(v);
    Fail(where, "out of the 32-bit range");
  }
  if (value.is_number_unsigned()) Fail(where, "out of the 32-bit range");
  if (value.is_number_float()) {
    const double d = value.get<double>();
    if (d == static_cast<double>(static_cast<int64_t>(d)) && d >= -2147483648.0 &&
        d <= 2147483647.0)
      return static_cast<int32_t>(d);
  }
  Fail(where, "expected a whole number");
}

// A stored string: plain JSON text when its bytes are UTF-8, otherwise (a kit
// from the original platform) {"bytes-cp1252": TEXT}, the bytes read as
// Windows-1252, which gives every byte back on import.
ordered_json StoredString(const std::string& bytes) {
  if (IsValidUtf8(bytes)) return bytes;
  ordered_json object;
  object[kCp1252Key] = Windows1252ToUtf8(bytes);
  return object;
}

std::string ReadString(const json& value, const std::string& where) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_object() && value.size() == 1 && value.contains(kCp1252Key)) {
    const json& text = value[kCp1252Key];
    if (!text.is_string()) Fail(where + "." + kCp1252Key, "expected a string");
    if (auto bytes = Windows1252Bytes(text.get<std::string>())) return *bytes;
    Fail(where + "." + kCp1252Key, "holds a character that Windows-1252 does not have");
  }
  Fail(where, std::string("expected a string or {\"") + kCp1252Key + "\": ...}");
}

const json& ExpectArray(const json& value, const std::string& where, size_t maxSize) {
  if (!value.is_array()) Fail(where, "expected an array");
  if (value.size() > maxSize)
    Fail(where,
         "at most " + std::to_string(maxSize) + " entries, found " + std::to_string(value.size()));
  return value;
}

template <typename Fn>
void IfKey(const json& object, const char* key, const std::string& where, Fn&& fn) {
  auto it = object.find(key);
  if (it != object.end()) fn(*it, where.empty() ? std::string(key) : where + "." + key);
}

void ExpectObject(const json& value, const std::string& where) {
  if (!value.is_object()) Fail(where.empty() ? "top level" : where, "expected an object");
}

}  // namespace

ordered_json DrumSetToJson(const DrumSet& set) {
  ordered_json out;
  out["midiInDevice"] = set.m_nMidiInDevice;
  ordered_json groups = ordered_json::array();
  for (int g = 0; g < set.GroupCount(); ++g) {
    ordered_json group;
    group["name"] = StoredString((*set.m_pGroupNames)[g]);
    ordered_json samples = ordered_json::array();
    if (set.m_pGroupList[g])
      for (const auto& path : *set.m_pGroupList[g]) samples.push_back(StoredString(path));
    group["samples"] = std::move(samples);
    groups.push_back(std::move(group));
  }
  out["groups"] = std::move(groups);
  ordered_json slots = ordered_json::array();
  for (int s = 0; s < kSlotCount; ++s) {
    const NoteSlot& ns = set.m_noteSlot[s];
    ordered_json slot;
    slot["cutNote"] = ns.nCutNote;
    slot["scheme"] = ns.nScheme;
    slot["volume"] = ns.nVolume;
    slot["reserved1"] = ns.nReserved1;
    slot["reserved2"] = ns.nReserved2;
    ordered_json layers = ordered_json::array();
    for (int l = 0; l < kLayerCount; ++l) {
      const int k = LayerIndex(s, l);
      ordered_json layer;
      layer["group"] = set.m_layerSample[k].nGroup;
      layer["index"] = set.m_layerSample[k].nIndex;
      layer["source"] = set.m_nLayerSource[k];
      layers.push_back(std::move(layer));
    }
    slot["layers"] = std::move(layers);
    slots.push_back(std::move(slot));
  }
  out["slots"] = std::move(slots);
  ordered_json thresholds = ordered_json::array();
  for (const auto& scheme : set.m_nVelocityThreshold) {
    ordered_json row = ordered_json::array();
    for (int32_t t : scheme) row.push_back(t);
    thresholds.push_back(std::move(row));
  }
  out["velocityThresholds"] = std::move(thresholds);
  return out;
}

DrumSet DrumSetFromJson(const json& in) {
  ExpectObject(in, "");
  DrumSet set;
  set.m_nMidiInDevice = 1;  // as a new drum set
  IfKey(in, "midiInDevice", "",
        [&](const json& v, const std::string& w) { set.m_nMidiInDevice = ReadInt(v, w); });
  IfKey(in, "groups", "", [&](const json& v, const std::string& w) {
    ExpectArray(v, w, kGroupListSlots);
    for (size_t g = 0; g < v.size(); ++g) {
      const std::string gw = w + "[" + std::to_string(g) + "]";
      ExpectObject(v[g], gw);
      std::string name;
      auto list = std::make_unique<StringList>();
      IfKey(v[g], "name", gw,
            [&](const json& n, const std::string& nw) { name = ReadString(n, nw); });
      IfKey(v[g], "samples", gw, [&](const json& a, const std::string& aw) {
        if (!a.is_array()) Fail(aw, "expected an array");
        for (size_t i = 0; i < a.size(); ++i)
          list->push_back(ReadString(a[i], aw + "[" + std::to_string(i) + "]"));
      });
      set.m_pGroupNames->push_back(std::move(name));
      set.m_pGroupList[g] = std::move(list);
    }
  });
  IfKey(in, "slots", "", [&](const json& v, const std::string& w) {
    ExpectArray(v, w, kSlotCount);
    for (size_t s = 0; s < v.size(); ++s) {
      const std::string sw = w + "[" + std::to_string(s) + "]";
      ExpectObject(v[s], sw);
      NoteSlot& ns = set.m_noteSlot[s];
      IfKey(v[s], "cutNote", sw,
            [&](const json& x, const std::string& xw) { ns.nCutNote = ReadInt(x, xw); });
      IfKey(v[s], "scheme", sw,
            [&](const json& x, const std::string& xw) { ns.nScheme = ReadInt(x, xw); });
      IfKey(v[s], "volume", sw,
            [&](const json& x, const std::string& xw) { ns.nVolume = ReadInt(x, xw); });
      IfKey(v[s], "reserved1", sw,
            [&](const json& x, const std::string& xw) { ns.nReserved1 = ReadInt(x, xw); });
      IfKey(v[s], "reserved2", sw,
            [&](const json& x, const std::string& xw) { ns.nReserved2 = ReadInt(x, xw); });
      IfKey(v[s], "layers", sw, [&](const json& layers, const std::string& lw) {
        ExpectArray(layers, lw, kLayerCount);
        for (size_t l = 0; l < layers.size(); ++l) {
          const std::string yw = lw + "[" + std::to_string(l) + "]";
          ExpectObject(layers[l], yw);
          const int k = LayerIndex(static_cast<int>(s), static_cast<int>(l));
          IfKey(layers[l], "group", yw, [&](const json& x, const std::string& xw) {
            set.m_layerSample[k].nGroup = ReadInt(x, xw);
          });
          IfKey(layers[l], "index", yw, [&](const json& x, const std::string& xw) {
            set.m_layerSample[k].nIndex = ReadInt(x, xw);
          });
          IfKey(layers[l], "source", yw, [&](const json& x, const std::string& xw) {
            set.m_nLayerSource[k] = ReadInt(x, xw);
          });
        }
      });
    }
  });
  IfKey(in, "velocityThresholds", "", [&](const json& v, const std::string& w) {
    ExpectArray(v, w, kSchemeCount);
    for (size_t k = 0; k < v.size(); ++k) {
      const std::string kw = w + "[" + std::to_string(k) + "]";
      ExpectArray(v[k], kw, kThresholdCount);
      for (size_t t = 0; t < v[k].size(); ++t)
        set.m_nVelocityThreshold[k][t] = ReadInt(v[k][t], kw + "[" + std::to_string(t) + "]");
    }
  });
  return set;
}

}  // namespace thumper
