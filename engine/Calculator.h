// Calculator: evaluates the arithmetic expressions of window descriptions
// (positions and sizes of controls) in extended precision. It never fails:
// text it cannot read evaluates to 0 or ends the evaluation early.
#pragma once

#include <cstdint>
#include <string>

class TCalculator {
public:
    int32_t CharPos = 1; // 1-based position of the next character of Expr
    std::string Expr;    // the prepared text, ended by a nul character

    long double Calculate(const std::string& text);
    long double ParseExpression();
    long double ParseTerm();
    long double ParseFactor();
    bool ReadNumber(long double& value);
    bool ReadConstant(long double& value);
    bool ReadFunctionName(int32_t& function);

private:
    char Look(int32_t offset = 0) const; // the character at CharPos + offset (nul past the end)
    void SkipOne();                      // moves past one character, never past the end mark
    int32_t Depth = 0;                   // nesting of parentheses and function calls
};

// The value of an expression: numbers, + - * / ^ (the last three at one
// level, left to right), parentheses, the constants E and PI and the
// calculator's functions. Blanks are ignored and letters upper-cased; text
// with unbalanced parentheses gives 0.
long double CalculateExpression(const std::string& text);
