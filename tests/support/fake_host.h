// A HostServices double that answers "get_vdj_folder" as told and records the rest.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "kit/vdj_plugin.h"

namespace qktest {

class FakeHost final : public vdj::HostServices {
public:
    std::string folder;          // answered to "get_vdj_folder"
    vdj::Result folderResult = 0;
    std::vector<std::string> commands;
    std::vector<std::string> queries;
    std::vector<int> declaredIds;

    vdj::Result VDJ_API SendCommand(const char* script) override {
        commands.emplace_back(script ? script : "");
        return 0;
    }
    vdj::Result VDJ_API GetInfo(const char* query, double* result) override {
        queries.emplace_back(query ? query : "");
        if (result) *result = 0;
        return 0;
    }
    vdj::Result VDJ_API GetStringInfo(const char* query, char* buffer, int size) override {
        queries.emplace_back(query ? query : "");
        if (std::string(query ? query : "") != "get_vdj_folder") return -1;
        if (folderResult != 0) return folderResult;
        std::strncpy(buffer, folder.c_str(), static_cast<size_t>(size) - 1);
        return 0;
    }
    vdj::Result VDJ_API DeclareParameter(void*, int, int id, const char*, const char*, float) override {
        declaredIds.push_back(id);
        return 0;
    }
    vdj::Result VDJ_API GetSongBuffer(int, int, short**) override { return vdj::kNotImplemented; }
};

}  // namespace qktest
