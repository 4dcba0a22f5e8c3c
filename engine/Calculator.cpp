#include "engine/Calculator.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "engine/QX9_Math.h"

namespace {

// Nested parentheses and calls deeper than this read as a factor of 0, so a
// hostile window file cannot exhaust the stack.
constexpr int32_t MaxDepth = 256;

constexpr const char* CalcFunctions[21] = {"ARCTAN", "COS",    "SIN",  "TAN", "ABS",  "EXP",   "LN",
                                           "LOG",    "SQRT",   "SQR",  "INT", "FRAC", "TRUNC", "ROUND",
                                           "ARCSIN", "ARCCOS", "SIGN", "NOT", "SAT",  "INV",   "CROP"};

constexpr long double Pi = 3.141592653589793238462643383279502884L;
constexpr long double EulerE = 2.718281828459045235360287471352662498L;

bool InFollowSet(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return u <= 32 || c == ')' || c == '*' || c == '+' || c == '-' || c == '/' || c == '^';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Conversion to a 64-bit integer, saturated at the ends of the range (NaN gives 0).
int64_t ToInt64(long double x)
{
    if (std::isnan(x)) {
        return 0;
    }
    if (x >= 9223372036854775807.0L) {
        return std::numeric_limits<int64_t>::max();
    }
    if (x <= -9223372036854775808.0L) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(x);
}

long double RoundEven(long double x)
{
    return static_cast<long double>(ToInt64(std::nearbyint(x)));
}

long double ApplyFunction(int32_t function, long double x)
{
    switch (function) {
    case 0:
        return ArcTanF(static_cast<float>(x));
    case 1:
        return std::cos(x);
    case 2:
        return std::sin(x);
    case 3: {
        long double c = std::cos(x);
        return c == 0 ? x : std::sin(x) / c;
    }
    case 4:
        return std::fabs(x);
    case 5:
        return std::exp(x);
    case 6:
        return x <= 0 ? x : std::log(x);
    case 7:
        return x <= 0 ? x : std::log(x) / std::log(10.0L);
    case 8:
        return x < 0 ? x : std::sqrt(x);
    case 9:
        return x * x;
    case 10:
    case 13:
        return RoundEven(x);
    case 11:
        return x - std::trunc(x);
    case 12:
        return static_cast<long double>(ToInt64(x));
    case 14:
        if (x == 1) {
            return Pi / 2;
        }
        return ArcTanF(static_cast<float>(x / std::sqrt(1 - x * x)));
    case 15:
        if (x == 1) {
            return 0;
        }
        return Pi / 2 - ArcTanF(static_cast<float>(x / std::sqrt(1 - x * x)));
    case 16:
        return x >= 0 ? 1 : -1;
    case 17:
        return static_cast<long double>(~ToInt64(x));
    case 18:
        return x < 0 ? 0 : (x > 1 ? 1 : x);
    case 19:
        return -x;
    case 20:
        return x < 0 ? 0 : x;
    default:
        return x;
    }
}

} // namespace

char TCalculator::Look(int32_t offset) const
{
    int64_t index = static_cast<int64_t>(CharPos) - 1 + offset;
    if (index < 0 || index >= static_cast<int64_t>(Expr.size())) {
        return '\0';
    }
    return Expr[static_cast<size_t>(index)];
}

void TCalculator::SkipOne()
{
    if (CharPos - 1 < static_cast<int32_t>(Expr.size()) - 1) {
        ++CharPos;
    }
}

long double TCalculator::Calculate(const std::string& text)
{
    Expr.clear();
    int64_t balance = 0;
    for (char c : text) {
        if (c == '(') {
            ++balance;
        } else if (c == ')') {
            --balance;
        }
        if (static_cast<unsigned char>(c) <= 32) {
            continue;
        }
        Expr += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (balance != 0) {
        return 0;
    }
    Expr += '\0';
    CharPos = 1;
    Depth = 0;
    return ParseExpression();
}

long double TCalculator::ParseExpression()
{
    long double value = ParseTerm();
    for (;;) {
        char op = Look();
        if (op != '+' && op != '-') {
            return value;
        }
        ++CharPos;
        long double term = ParseTerm();
        value = op == '+' ? value + term : value - term;
    }
}

long double TCalculator::ParseTerm()
{
    long double value = ParseFactor();
    for (;;) {
        char op = Look();
        if (op != '*' && op != '/' && op != '^') {
            return value;
        }
        ++CharPos;
        long double factor = ParseFactor();
        if (op == '*') {
            value = value * factor;
        } else if (op == '/') {
            value = value / factor;
        } else {
            value = PowerF(static_cast<double>(value), static_cast<double>(factor));
        }
    }
}

long double TCalculator::ParseFactor()
{
    long double value = 0;
    if (Look() == '(') {
        if (Depth >= MaxDepth) {
            return 0;
        }
        ++CharPos;
        ++Depth;
        value = ParseExpression();
        --Depth;
        SkipOne();
        return value;
    }
    if (ReadNumber(value) || ReadConstant(value)) {
        return value;
    }
    int32_t function = 0;
    int32_t start = CharPos;
    if (ReadFunctionName(function)) {
        if (Depth >= MaxDepth) {
            CharPos = start;
            return 0;
        }
        ++CharPos; // the "("
        ++Depth;
        long double argument = ParseExpression();
        --Depth;
        SkipOne();
        return ApplyFunction(function, argument);
    }
    return 0;
}

bool TCalculator::ReadNumber(long double& value)
{
    value = 0;
    char first = Look();
    if (first != '+' && first != '-' && first != '.' && !IsDigit(first)) {
        return false;
    }
    int32_t start = CharPos;
    std::string text;
    if (first == '+' || first == '-') {
        text += first;
        ++CharPos;
    }
    for (;;) {
        char c = Look();
        if (IsDigit(c) || c == '.') {
            text += c;
            ++CharPos;
        } else if (c == 'E') {
            text += c;
            ++CharPos;
            if (Look() == '+' || Look() == '-') {
                text += Look();
                ++CharPos;
            }
        } else {
            break;
        }
    }
    if (!InFollowSet(Look())) {
        CharPos = start;
        return false;
    }
    // Whole numbers (most of what window layouts compute with) are read
    // here: up to 18 digits are exact in a long double, as strtold gives them.
    const size_t digits = text.size() - (first == '+' || first == '-' ? 1 : 0);
    if (digits > 0 && digits <= 18 &&
        std::all_of(text.end() - static_cast<std::ptrdiff_t>(digits), text.end(), IsDigit)) {
        uint64_t whole = 0;
        for (size_t i = text.size() - digits; i < text.size(); ++i)
            whole = whole * 10 + static_cast<uint64_t>(text[i] - '0');
        value = first == '-' ? -static_cast<long double>(whole) : static_cast<long double>(whole);
        return true;
    }
    // strtold reads ".5", "5.", "-.5" and "5.E3" as the normalised forms
    // "0.5", "5.0", "-0.5" and "5.0E3"; text without digits reads as 0.
    const char* begin = text.c_str();
    char* end = nullptr;
    long double parsed = std::strtold(begin, &end);
    value = end == begin ? 0 : parsed;
    return true;
}

bool TCalculator::ReadConstant(long double& value)
{
    if (Look() == 'E' && InFollowSet(Look(1))) {
        value = EulerE;
        CharPos += 1;
        return true;
    }
    if (Look() == 'P' && Look(1) == 'I' && InFollowSet(Look(2))) {
        value = Pi;
        CharPos += 2;
        return true;
    }
    return false;
}

bool TCalculator::ReadFunctionName(int32_t& function)
{
    char c = Look();
    if (c < 'A' || c > 'Z') {
        return false;
    }
    for (int32_t i = 0; i < 21; ++i) {
        int32_t length = static_cast<int32_t>(std::strlen(CalcFunctions[i]));
        bool match = true;
        for (int32_t k = 0; k < length && match; ++k) {
            match = Look(k) == CalcFunctions[i][k];
        }
        if (match && Look(length) == '(') {
            function = i;
            CharPos += length;
            return true;
        }
    }
    return false;
}

long double CalculateExpression(const std::string& text)
{
    TCalculator calculator;
    return calculator.Calculate(text);
}
