#pragma once

#include <string>

// The path the test playlist gives song `song`: ".\\songs\\songNN.mod".
std::string TestSongPath(int song);
