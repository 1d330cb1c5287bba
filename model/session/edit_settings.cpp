#include "model/session/edit_settings.h"

#include <array>

namespace vividra {

void EditSettings::resetToDefaults() {
    const QColor colour = brush.colour;
    *this = EditSettings();
    brush.colour = colour;
}

QString EditSettings::brushLabel() const {
    return QString::number(static_cast<int>(brush.size)) + QStringLiteral(" px");
}

namespace fields {
namespace {

// The field `member` of the part `part` of the settings.
template <auto part, auto member> SettingField::Slot at(EditSettings& s) {
    return &((s.*part).*member);
}

using E = EffectSettings;

// Both layers' fields from one list, so they cannot drift apart.
template <auto layer> std::array<SettingField, 8> switchesOf() {
    return {{{"blackWhiteOn", at<layer, &E::blackWhiteOn>},
             {"blackWhiteEffect", at<layer, &E::blackWhiteEffect>, &kBlackWhiteItems},
             {"colorEffectsOn", at<layer, &E::colorEffectsOn>},
             {"colorEffect", at<layer, &E::colorEffect>, &kColorEffectItems},
             {"sepiaOn", at<layer, &E::sepiaOn>},
             {"blurOn", at<layer, &E::blurOn>},
             {"oilPaintingOn", at<layer, &E::oilPaintingOn>},
             {"sketchOn", at<layer, &E::sketchOn>}}};
}
template <auto layer> std::array<SettingField, 5> slidersOf() {
    return {{{"sepiaIntensity", at<layer, &E::sepiaIntensity>, nullptr, ranges::sepiaIntensity},
             {"blurIntensity", at<layer, &E::blurIntensity>, nullptr, ranges::blurIntensity},
             {"oilPaintingIntensity", at<layer, &E::oilPaintingIntensity>, nullptr,
              ranges::oilPaintingIntensity},
             {"sketchIntensity", at<layer, &E::sketchIntensity>, nullptr, ranges::sketchIntensity},
             {"sketchEdge", at<layer, &E::sketchEdge>, nullptr, ranges::sketchEdge}}};
}

const auto kForegroundSwitches = switchesOf<&EditSettings::foreground>();
const auto kBackgroundSwitches = switchesOf<&EditSettings::background>();
const auto kForegroundSliders = slidersOf<&EditSettings::foreground>();
const auto kBackgroundSliders = slidersOf<&EditSettings::background>();

using A = AdjustmentSettings;
const SettingField kAdjustments[] = {
    {"brightness", at<&EditSettings::adjustments, &A::brightness>, nullptr, ranges::brightness},
    {"exposure", at<&EditSettings::adjustments, &A::exposure>, nullptr, ranges::exposure},
    {"contrast", at<&EditSettings::adjustments, &A::contrast>, nullptr, ranges::contrast},
    {"saturation", at<&EditSettings::adjustments, &A::saturation>, nullptr, ranges::saturation},
    {"gamma", at<&EditSettings::adjustments, &A::gamma>, nullptr, ranges::gamma},
    {"hue", at<&EditSettings::adjustments, &A::hue>, nullptr, ranges::hue},
    {"red", at<&EditSettings::adjustments, &A::red>, nullptr, ranges::channel},
    {"green", at<&EditSettings::adjustments, &A::green>, nullptr, ranges::channel},
    {"blue", at<&EditSettings::adjustments, &A::blue>, nullptr, ranges::channel}};

} // namespace

const SettingField customColour{"customColor",
                                at<&EditSettings::brush, &BrushSettings::customColor>};
const SettingField eraser{"eraser", at<&EditSettings::brush, &BrushSettings::eraser>};
const SettingField brushSize{"brushSize", at<&EditSettings::brush, &BrushSettings::size>, nullptr,
                             ranges::brushSize};

std::span<const SettingField> switches(bool foreground) {
    return foreground ? kForegroundSwitches : kBackgroundSwitches;
}

std::span<const SettingField> sliders(bool foreground) {
    return foreground ? kForegroundSliders : kBackgroundSliders;
}

std::span<const SettingField> adjustments() {
    return kAdjustments;
}

} // namespace fields

} // namespace vividra
