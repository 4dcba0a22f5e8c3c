// The self-check the program runs until the game's front end exists: each
// built subsystem is exercised briefly and reported with OK or FAILED.
#pragma once

#include <string>

void Report(const std::string& what, bool ok, const std::string& detail);

void CheckReaders();  // ini, pack file, script, data container, XML
void CheckMath();     // vectors and matrices, path finder, calculator
void CheckTables();   // the sample installation's game tables
void CheckSound();    // the sound device (silent when there is no audio)
void CheckRenderer(); // the main window and the Direct3D-like device
