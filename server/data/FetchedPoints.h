#pragma once

#include <ombrelH.h>

#include <vector>

// Submit point and checkpoint replies of one update, as the server sent
// them, for the proxy to take in.
struct FetchedPoints
{
    int updateFlags = 0;
    std::vector<ombrel::SubmitPoints07> submitPoints;
    std::vector<ombrel::CheckPoints07> checkPoints;
};
