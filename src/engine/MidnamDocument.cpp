#include "engine/MidnamDocument.h"

namespace thumper {

namespace {

// Text as an XML attribute value holds it; bytes below a space other than tab
// are not allowed in XML 1.0 at all and become spaces.
std::string Attribute(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
  }
  return out;
}

}  // namespace

std::string MidnamDocument(const std::string& model, const NoteNames& names) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE MIDINameDocument PUBLIC \"-//MIDI Manufacturers Association//DTD "
      "MIDINameDocument 1.0//EN\" \"http://www.midi.org/dtds/MIDINameDocument10.dtd\">\n"
      "<MIDINameDocument>\n"
      "  <Author>Thumper</Author>\n"
      "  <MasterDeviceNames>\n"
      "    <Manufacturer>Thumper</Manufacturer>\n"
      "    <Model>" +
      Attribute(model) +
      "</Model>\n"
      "    <CustomDeviceMode Name=\"Default\">\n"
      "      <ChannelNameSetAssignments>\n";
  for (int c = 1; c <= 16; ++c)
    xml +=
        "        <ChannelNameSetAssign Channel=\"" + std::to_string(c) + "\" NameSet=\"Kit\"/>\n";
  xml +=
      "      </ChannelNameSetAssignments>\n"
      "    </CustomDeviceMode>\n"
      "    <ChannelNameSet Name=\"Kit\">\n"
      "      <AvailableForChannels>\n";
  for (int c = 1; c <= 16; ++c)
    xml += "        <AvailableChannel Channel=\"" + std::to_string(c) + "\" Available=\"true\"/>\n";
  xml +=
      "      </AvailableForChannels>\n"
      "      <UsesNoteNameList Name=\"Notes\"/>\n"
      "    </ChannelNameSet>\n"
      "    <NoteNameList Name=\"Notes\">\n";
  for (int n = 0; n < 128; ++n)
    if (!names[n].empty())
      xml += "      <Note Number=\"" + std::to_string(n) + "\" Name=\"" + Attribute(names[n]) +
             "\"/>\n";
  xml +=
      "    </NoteNameList>\n"
      "  </MasterDeviceNames>\n"
      "</MIDINameDocument>\n";
  return xml;
}

}  // namespace thumper
