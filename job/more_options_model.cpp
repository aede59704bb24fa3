// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/more_options_model.h"

#include <utility>

#include "geometry/units/quantity.h"
#include "platform/catalogue.h"
#include "platform/user_dialogs.h"

namespace tg {

MoreOptionsModel::MoreOptionsModel(const MosaicSettings& settings, bool jobRunning)
    : m_working(settings), m_jobRunning(jobRunning) {}

IntParameter& MoreOptionsModel::parameter(MoreOptionsChoice choice) {
  return const_cast<IntParameter&>(std::as_const(*this).parameter(choice));
}

const IntParameter& MoreOptionsModel::parameter(MoreOptionsChoice choice) const {
  const MosaicSettings& s = m_working;
  switch (choice) {
    case MoreOptionsChoice::MosaicProcessing:
      return s.mosaicProcessing;
    case MoreOptionsChoice::ImageCompare:
      return s.imageCompare;
    case MoreOptionsChoice::ImageDetail:
      return s.imageDetail;
    case MoreOptionsChoice::ColorChangePriority:
      return s.colorChangePriority;
    case MoreOptionsChoice::BorderColor:
      return s.borderColor;
    case MoreOptionsChoice::FileFormat:
      return s.fileFormat;
    case MoreOptionsChoice::JpgQuality:
      return s.jpgQuality;
    case MoreOptionsChoice::MosaicSubdirectory:
      return s.mosaicSubdirectory;
    case MoreOptionsChoice::MosaicFileName:
      return s.mosaicFileName;
    case MoreOptionsChoice::WebPageSize:
      return s.webPageSize;
    case MoreOptionsChoice::ConsecutiveFrames:
      break;
  }
  return s.consecutiveFrames;
}

Parameter<bool>& MoreOptionsModel::flag(MoreOptionsSwitch item) {
  return const_cast<Parameter<bool>&>(std::as_const(*this).flag(item));
}

const Parameter<bool>& MoreOptionsModel::flag(MoreOptionsSwitch item) const {
  const MosaicSettings& s = m_working;
  switch (item) {
    case MoreOptionsSwitch::UseAllImages:
      return s.useAllImages;
    case MoreOptionsSwitch::OutputTransparency:
      return s.outputTransparency;
    case MoreOptionsSwitch::OutputLayers:
      return s.outputLayers;
    case MoreOptionsSwitch::OutputTiff64:
      return s.outputTiff64;
    case MoreOptionsSwitch::TextReport:
      return s.textReport;
    case MoreOptionsSwitch::CreateMaskFile:
      return s.createMaskFile;
    case MoreOptionsSwitch::IndividualTiles:
      return s.individualTiles;
    case MoreOptionsSwitch::SplitMosaic:
      break;
  }
  return s.splitMosaic;
}

std::vector<std::string> MoreOptionsModel::choiceLabels(MoreOptionsChoice choice) const {
  const ChoiceList& list = parameter(choice).list;
  std::vector<std::string> labels;
  labels.reserve(list.entries.size());
  for (const ChoiceEntry& entry : list.entries) labels.push_back(choiceEntryLabel(list, entry));
  return labels;
}

std::string MoreOptionsModel::currentLabel(MoreOptionsChoice choice) {
  return displayLabel(parameter(choice));
}

void MoreOptionsModel::selectChoice(MoreOptionsChoice choice, std::size_t index) {
  if (!m_jobRunning) parameter(choice).select(index);
}

bool MoreOptionsModel::takeChoiceText(MoreOptionsChoice choice, const std::string& text) {
  if (m_jobRunning) return false;
  return applyTypedText(parameter(choice), text);
}

void MoreOptionsModel::setBorderColour(std::uint32_t colour) {
  if (!m_jobRunning) m_working.borderColor.set(static_cast<long>(colour & 0xFFFFFFu));
}

bool MoreOptionsModel::switchValue(MoreOptionsSwitch item) const { return flag(item).value; }

void MoreOptionsModel::setSwitch(MoreOptionsSwitch item, bool on) {
  if (!m_jobRunning) flag(item).set(on);
}

bool MoreOptionsModel::switchAvailable(MoreOptionsSwitch item) const {
  const long format = m_working.fileFormat.value;
  switch (item) {
    case MoreOptionsSwitch::OutputLayers:
      return format == kFormatPsd || format == kFormatPsb;
    case MoreOptionsSwitch::OutputTransparency:
      return format == kFormatTiff || format == kFormatPsd || format == kFormatPsb;
    case MoreOptionsSwitch::OutputTiff64:
      return format == kFormatTiff || format == kFormatTiffJpeg;
    default:
      return true;
  }
}

bool MoreOptionsModel::qualityAvailable() const {
  const long format = m_working.fileFormat.value;
  return format == kFormatJpeg || format == kFormatVideoJpeg || format == kFormatTiffJpeg;
}

std::vector<std::string> MoreOptionsModel::borderSizeLabels() const {
  std::vector<std::string> labels;
  for (const auto& preset : m_working.borderSize.presets) labels.push_back(presetLabel(preset));
  return labels;
}

std::string MoreOptionsModel::currentBorderSizeLabel() {
  return displayLabel(m_working.borderSize);
}

bool MoreOptionsModel::takeBorderSizeText(const std::string& text) {
  if (m_jobRunning) return false;
  return applyTypedText(m_working.borderSize, text, borderSizeConstraint());
}

std::string MoreOptionsModel::directoryLabel() const { return mosaicDirectoryLabel(m_working); }

void MoreOptionsModel::setDirectory(const std::string& folder) {
  if (!m_jobRunning) m_working.mosaicDirectory.set(folder);
}

bool MoreOptionsModel::invalid(MoreOptionsChoice choice) const {
  const IntParameter& p = parameter(choice);
  // Ranges are compared unsigned, as the validation before a job does: -1 is out of range.
  return static_cast<unsigned long>(p.value - p.minimum) >
         static_cast<unsigned long>(p.maximum - p.minimum);
}

bool MoreOptionsModel::borderSizeInvalid() const {
  return !borderSizeConstraint().admits(m_working.borderSize.value);
}

bool MoreOptionsModel::ok(MosaicSettings& settings) {
  if (m_jobRunning) return false;
  bool valid = !borderSizeInvalid();
  for (std::size_t i = 0; i < kMoreOptionsChoiceCount; ++i) {
    valid = valid && !invalid(static_cast<MoreOptionsChoice>(i));
  }
  if (!valid) {
    showMessage(tr("Please specify all the parameters"));
    return false;
  }
  (void)applyParameterRules(m_working, false);
  settings = m_working;
  return true;
}

}  // namespace tg
