// Outside bytes through the headless host into the loaded plug-in: as a project file
// (headless_project_load), and as a flattened ColorCard value unflattened, compared with
// the current one and printed, as a host calls the effect's arbitrary-data callbacks.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "headless/host.h"

namespace {

struct session {
    headless_plugin plugin;
    headless_host* host = nullptr;
    headless_instance* inst = nullptr;
    std::string path;
};

session* open_session() {
    static session s;
    if (s.inst) return &s;
    std::string error;
    if (!headless_load(&s.plugin, CHROMALANE_PLUGIN_PATH, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
    }
    s.host = headless_host_new(&s.plugin, FLAVOUR_AE);
    PF_Err err = PF_Err_NONE;
    s.inst = headless_instance_new(s.host, 64, 48, &err);
    if (err) std::abort();
    s.path = "/tmp/chromalane_project_fuzz_" + std::to_string(::getpid()) + ".json";
    return &s;
}

void arbitrary(headless_instance* inst, int index, PF_Handle value) {
    PF_Handle current = inst->params[index].u.arb_d.value;
    PF_ArbParamsExtra extra{};
    extra.id = inst->params[index].uu.id;
    extra.which_function = PF_Arbitrary_COMPARE_FUNC;
    PF_ArbCompareResult order = PF_ArbCompare_EQUAL;
    extra.u.compare_func_params.a_arbH = value;
    extra.u.compare_func_params.b_arbH = current;
    extra.u.compare_func_params.compareP = &order;
    headless_arbitrary(inst, &extra);
    static char text[65536];
    extra = PF_ArbParamsExtra{};
    extra.id = inst->params[index].uu.id;
    extra.which_function = PF_Arbitrary_PRINT_FUNC;
    extra.u.print_func_params.print_flags = 0;
    extra.u.print_func_params.arbH = value;
    extra.u.print_func_params.print_sizeLu = sizeof text;
    extra.u.print_func_params.print_bufferPC = text;
    headless_arbitrary(inst, &extra);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    session* s = open_session();
    if (std::FILE* f = std::fopen(s->path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        std::string error;
        headless_project_load(s->inst, s->path, &error);
        std::remove(s->path.c_str());
    }
    const std::vector<uint8_t> bytes(data, data + size);
    PF_Handle value = nullptr;
    if (headless_unflatten_value(s->inst, 40, bytes, &value) == PF_Err_NONE && value) {
        arbitrary(s->inst, 40, value);
        headless_dispose_value(s->inst, 40, value);
    }
    return 0;
}
