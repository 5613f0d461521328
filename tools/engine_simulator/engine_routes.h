#pragma once
// What the simulated engine answers to each request the programs send it.
#include <string>

#include "tools/engine_simulator/engine_state.h"
#include "tools/engine_simulator/http_request.h"

struct EngineAnswer {
    int status = 200;
    std::string body;        // UTF-8 JSON for the requests that return data
    bool endsEngine = false; // "/shutdown?cleanup=1": end once the answer is out
};

EngineAnswer AnswerRequest(const HttpRequest& request, const EngineState& state);

// The reason phrase for a status line.
const char* ReasonPhrase(int status);
