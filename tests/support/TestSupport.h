// Helpers shared by the test programs.
#pragma once

#include <string>

// A fresh temporary folder, removed with everything in it when the object
// goes. Path() is the real (POSIX) path with a trailing "/".
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    const std::string& Path() const { return FPath; }
    // The folder in the program's form ("\" separators, trailing "\").
    std::string ProgramPath() const;
    // Writes a file below the folder (creating its folders); returns its real path.
    std::string WriteFile(const std::string& relative, const std::string& bytes) const;
    // The same for a name in the program's form ("\" or "/" separators);
    // returns the folder's program path followed by the name as given.
    std::string WriteProgramFile(const std::string& relative, const std::string& bytes) const;
    std::string ReadFile(const std::string& relative) const;

private:
    std::string FPath;
};

// Path of a checked-in fixture: tests/fixtures/<relative>.
std::string FixturePath(const std::string& relative);

// Runs one of our programs with the arguments (a shell command line), its
// standard error mixed into the output; status is pclose's. The leak checker
// is off in the child: its report would mix into the output.
std::string RunProgram(const std::string& program, const std::string& arguments, int& status);
