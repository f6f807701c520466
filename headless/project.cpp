// Project files: the parameter values of one effect instance as JSON. ColorCard values
// are stored as the effect flattens them (hex text), and restored through unflatten.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cards/card.h"
#include "headless/host.h"
#include "platform/platform.h"

namespace {
constexpr const char* PROJECT_FORMAT = "chromalane-project";
constexpr int PROJECT_VERSION = 1;

std::string to_hex(const std::vector<uint8_t>& bytes) {
    static const char* DIGITS = "0123456789abcdef";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        s.push_back(DIGITS[b >> 4]);
        s.push_back(DIGITS[b & 15]);
    }
    return s;
}

bool from_hex(const std::string& s, std::vector<uint8_t>* bytes) {
    if (s.size() % 2) return false;
    bytes->clear();
    bytes->reserve(s.size() / 2);
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < s.size(); i += 2) {
        int hi = digit(s[i]), lo = digit(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes->push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

// Indices of the effect's own that a project may not leave inconsistent: the stored chart
// type (a position in the chart catalogue), each side's stored curve kind and exposure index
// (whole numbers, as a ColorCard file holds them) and each side's black and white levels.
constexpr int P_STORED_CHART = 39;
constexpr int P_STORED_KIND = 4, P_STORED_ISO = 6;
constexpr int P_LEVEL_BLACK = 17;  // white follows
constexpr int SIDE_OFFSET = 55;

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string parameter_name(const headless_instance* inst, int index) {
    const char* name = inst->params[index].name;
    return "parameter " + std::to_string(index) +
           (name[0]
                ? " \"" + std::string(name, strnlen(name, sizeof inst->params[index].name)) + "\""
                : std::string());
}

// Why a value from a project cannot be the parameter's value (empty when it can): the
// parameter's own limits, as a host's control keeps them, and whole numbers where the
// parameter holds one. A card's bytes are checked as a ColorCard file's contents are.
struct entry {
    int index;
    int kind;  // 0 number, 1 point, 2 colour, 3 flat
    double a, b, c;
    std::vector<uint8_t> flat;
};

bool whole(double v) {
    return std::isfinite(v) && v == std::floor(v);
}

std::string outside(double v, double lo, double hi) {
    return "is " + number(v) + ", outside " + number(lo) + " to " + number(hi);
}

std::string card_fault(const std::vector<uint8_t>& flat) {
    card c;
    if (flat.size() < sizeof c) return "holds a card value that is too short";
    std::memcpy(static_cast<void*>(&c), flat.data(), sizeof c);
    if (c.reference > 1 || c.display_valid > 1) return "holds a card with unknown flags";
    for (int ch = 0; ch < 3; ++ch)
        for (int k = 0; k < CARD_MAX_PATCHES; ++k)
            if (!std::isfinite(c.linear[ch][k]) || !std::isfinite(c.display[ch][k]))
                return "holds a card with a patch value that is not a number";
    return {};
}

std::string out_of_range(int index, const PF_ParamDef& p, const entry& e) {
    // A corner is stored in 16.16 fixed point.
    constexpr double FIXED_LIMIT = 32767.0;
    switch (e.kind) {
        case 1:
            for (double v : {e.a, e.b})
                if (!(v >= -FIXED_LIMIT && v <= FIXED_LIMIT))
                    return outside(v, -FIXED_LIMIT, FIXED_LIMIT);
            return {};
        case 2:
            for (double v : {e.a, e.b, e.c})
                if (!(v >= 0 && v <= 255)) return outside(v, 0, 255);
            return {};
        case 3:
            return card_fault(e.flat);
        default:
            break;
    }
    const double v = e.a;
    if (!std::isfinite(v)) return "is not a number";
    switch (p.param_type) {
        case PF_Param_FLOAT_SLIDER:
            if (!(v >= p.u.fs_d.valid_min && v <= p.u.fs_d.valid_max))
                return outside(v, p.u.fs_d.valid_min, p.u.fs_d.valid_max);
            break;
        case PF_Param_FIX_SLIDER:
            if (!(v >= p.u.fd.valid_min / 65536.0 && v <= p.u.fd.valid_max / 65536.0))
                return outside(v, p.u.fd.valid_min / 65536.0, p.u.fd.valid_max / 65536.0);
            break;
        case PF_Param_SLIDER:
            if (!whole(v)) return "is " + number(v) + ", not a whole number";
            if (!(v >= p.u.sd.valid_min && v <= p.u.sd.valid_max))
                return outside(v, p.u.sd.valid_min, p.u.sd.valid_max);
            break;
        case PF_Param_POPUP:
            if (!whole(v) || v < 1 || v > p.u.pd.num_choices)
                return "is " + number(v) + ", not one of its " +
                       std::to_string(p.u.pd.num_choices) + " items";
            break;
        case PF_Param_CHECKBOX:
            if (v != 0 && v != 1) return "is " + number(v) + ", neither 0 nor 1";
            break;
        default:
            break;
    }
    for (int stored : {P_STORED_KIND, P_STORED_ISO})
        if ((index == stored || index == stored + SIDE_OFFSET) && !whole(v))
            return "is " + number(v) + ", not a whole number";
    if (index == P_STORED_CHART && (!whole(v) || v < 0 || v >= REFCARD_TYPE_COUNT))
        return "is " + number(v) + ", not a chart of the catalogue (0 to " +
               std::to_string(REFCARD_TYPE_COUNT - 1) + ")";
    return {};
}

std::string match_name(const headless_instance* inst) {
    const registration_property* p =
        registration_find(&inst->host->plugin->registration, fourcc("eMNA"));
    return p ? reinterpret_cast<const char*>(p->data) : "";
}
}  // namespace

bool headless_project_save(headless_instance* inst, const std::string& path, std::string* error) {
    nlohmann::json j;
    j["format"] = PROJECT_FORMAT;
    j["version"] = PROJECT_VERSION;
    j["effect"] = match_name(inst);
    j["host"] = inst->host->flavour == FLAVOUR_AE ? "ae" : "premiere";
    j["width"] = inst->width;
    j["height"] = inst->height;
    nlohmann::json params = nlohmann::json::array();
    for (int i = 1; i < inst->num_params && i < 88; ++i) {
        const PF_ParamDef& p = inst->params[i];
        nlohmann::json v;
        v["index"] = i;
        switch (p.param_type) {
            case PF_Param_FLOAT_SLIDER:
            case PF_Param_FIX_SLIDER:
            case PF_Param_SLIDER:
            case PF_Param_POPUP:
            case PF_Param_CHECKBOX:
                v["value"] = headless_value(inst, i);
                break;
            case PF_Param_POINT:
                v["point"] = {p.u.td.x_value / 65536.0, p.u.td.y_value / 65536.0};
                break;
            case PF_Param_COLOR:
                v["color"] = {p.u.cd.value.red, p.u.cd.value.green, p.u.cd.value.blue};
                break;
            case PF_Param_ARBITRARY_DATA: {
                std::vector<uint8_t> bytes;
                PF_Err err = headless_flatten(inst, i, &bytes);
                if (err) {
                    if (error)
                        *error = "the effect could not flatten parameter " + std::to_string(i);
                    return false;
                }
                v["flat"] = to_hex(bytes);
                break;
            }
            default:
                continue;
        }
        params.push_back(v);
    }
    j["parameters"] = params;
    // Written whole: a failed save leaves no half project.
    const std::string text = j.dump(1) + "\n";
    if (!filesave(path.c_str(), text.data(), text.size())) {
        if (error) *error = "cannot write '" + path + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

bool headless_project_load(headless_instance* inst, const std::string& path, std::string* error) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        if (error) *error = "project '" + path + "' cannot be read";
        return false;
    }
    nlohmann::json j = nlohmann::json::parse(f, nullptr, false);
    auto fail = [&](const std::string& why) {
        if (error) *error = "project '" + path + "': " + why;
        return false;
    };
    if (j.is_discarded() || !j.is_object()) return fail("not a JSON project file");
    if (!j.contains("format") || j["format"] != PROJECT_FORMAT)
        return fail("not a chromalane project");
    if (!j.contains("version") || !j["version"].is_number_integer())
        return fail("no format version");
    if (j["version"].get<int>() != PROJECT_VERSION)
        return fail("unknown format version " + j["version"].dump());
    if (!j.contains("effect") || j["effect"] != match_name(inst))
        return fail("made for another effect");
    if (!j.contains("parameters") || !j["parameters"].is_array()) return fail("no parameter list");

    // Check everything before changing anything.
    std::vector<entry> entries;
    for (const auto& v : j["parameters"]) {
        if (!v.is_object() || !v.contains("index") || !v["index"].is_number_integer())
            return fail("a parameter without an index");
        int i = v["index"].get<int>();
        if (i < 1 || i >= 88) return fail("parameter index " + std::to_string(i) + " out of range");
        PF_ParamType t = inst->params[i].param_type;
        entry e{i, 0, 0, 0, 0, {}};
        if (v.contains("value") && v["value"].is_number()) {
            e.a = v["value"].get<double>();
        } else if (v.contains("point") && v["point"].is_array() && v["point"].size() == 2 &&
                   v["point"][0].is_number() && v["point"][1].is_number()) {
            e.kind = 1;
            e.a = v["point"][0].get<double>();
            e.b = v["point"][1].get<double>();
        } else if (v.contains("color") && v["color"].is_array() && v["color"].size() == 3) {
            e.kind = 2;
            for (size_t k = 0; k < 3; ++k)
                if (!v["color"][k].is_number_integer()) return fail("a malformed colour");
            e.a = v["color"][0].get<int>();
            e.b = v["color"][1].get<int>();
            e.c = v["color"][2].get<int>();
        } else if (v.contains("flat") && v["flat"].is_string()) {
            e.kind = 3;
            if (!from_hex(v["flat"].get<std::string>(), &e.flat))
                return fail("a malformed card value");
        } else {
            return fail("parameter " + std::to_string(i) + " has no value");
        }
        bool fits = (e.kind == 0 &&
                     (t == PF_Param_FLOAT_SLIDER || t == PF_Param_FIX_SLIDER ||
                      t == PF_Param_SLIDER || t == PF_Param_POPUP || t == PF_Param_CHECKBOX)) ||
                    (e.kind == 1 && t == PF_Param_POINT) || (e.kind == 2 && t == PF_Param_COLOR) ||
                    (e.kind == 3 && t == PF_Param_ARBITRARY_DATA);
        if (!fits) return fail("parameter " + std::to_string(i) + " has a value of another kind");
        const std::string why = out_of_range(i, inst->params[i], e);
        if (!why.empty()) return fail(parameter_name(inst, i) + " " + why);
        entries.push_back(std::move(e));
    }
    // Values that only make sense together: levels whose black equals white would make the
    // levels slope infinite.
    for (int black : {P_LEVEL_BLACK, P_LEVEL_BLACK + SIDE_OFFSET}) {
        double level[2] = {headless_value(inst, black), headless_value(inst, black + 1)};
        for (const entry& e : entries)
            if (e.kind == 0 && (e.index == black || e.index == black + 1))
                level[e.index - black] = e.a;
        if (level[0] == level[1])
            return fail(parameter_name(inst, black) + " and " + parameter_name(inst, black + 1) +
                        " are equal (" + number(level[0]) + ")");
    }
    // The cards first, into new values: a card the effect refuses leaves the instance as it was.
    std::vector<std::pair<int, PF_Handle>> cards;
    for (const entry& e : entries) {
        if (e.kind != 3) continue;
        PF_Handle h = nullptr;
        if (headless_unflatten_value(inst, e.index, e.flat, &h) != PF_Err_NONE) {
            for (auto& c : cards) headless_dispose_value(inst, c.first, c.second);
            return fail("the effect refused the card value of parameter " +
                        std::to_string(e.index));
        }
        cards.emplace_back(e.index, h);
    }
    for (auto& c : cards) headless_set_value(inst, c.first, c.second);
    for (const entry& e : entries) {
        if (e.kind == 3) continue;
        std::lock_guard<std::recursive_mutex> guard(inst->mutex);
        PF_ParamDef& p = inst->params[e.index];
        auto fx = [](double v) { return static_cast<PF_Fixed>(std::lround(v * 65536.0)); };
        auto byte = [](double v) { return static_cast<A_u_char>(v < 0 ? 0 : v > 255 ? 255 : v); };
        if (e.kind == 1) {
            p.u.td.x_value = fx(e.a);
            p.u.td.y_value = fx(e.b);
        } else if (e.kind == 2) {
            p.u.cd.value = PF_Pixel{255, byte(e.a), byte(e.b), byte(e.c)};
        } else {
            switch (p.param_type) {
                case PF_Param_FLOAT_SLIDER:
                    p.u.fs_d.value = e.a;
                    break;
                case PF_Param_FIX_SLIDER:
                    p.u.fd.value = fx(e.a);
                    break;
                case PF_Param_SLIDER:
                    p.u.sd.value = static_cast<A_long>(e.a);
                    break;
                case PF_Param_POPUP:
                    p.u.pd.value = static_cast<A_long>(e.a);
                    break;
                case PF_Param_CHECKBOX:
                    p.u.bd.value = e.a != 0 ? 1 : 0;
                    break;
                default:
                    break;
            }
        }
    }
    return true;
}
