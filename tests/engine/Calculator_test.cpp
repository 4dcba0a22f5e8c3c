#include "engine/Calculator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

constexpr long double Pi = 3.141592653589793238462643383279502884L;
constexpr long double E = 2.718281828459045235360287471352662498L;

struct TCase {
    const char* text;
    long double value;
};

void ExpectTable(const TCase* rows, size_t count, long double tolerance)
{
    for (size_t i = 0; i < count; ++i) {
        long double got = CalculateExpression(rows[i].text);
        EXPECT_NEAR(static_cast<double>(got), static_cast<double>(rows[i].value), static_cast<double>(tolerance))
            << "'" << rows[i].text << "'";
    }
}

} // namespace

TEST(Calculator, OperatorsShareOnePrecedenceForProductsAndPowers)
{
    static const TCase rows[] = {
        {"1 + 2 * 3", 7}, {"(1+2)*3", 9},
        {"2*3^2", 36},    {"2^3^2", 64},
        {"10/4", 2.5},    {"-5+2", -3},
        {"2*-3", -6},     {"2*-(3)", -3},
        {"1--2", 3},      {"8/2/2", 2},
        {"7-2-1", 4},     {"2^-1", 0.5},
        {"((2))", 2},     {"2^0.5", std::sqrt(2.0L)},
        {" 1\t+\n1 ", 2}, {"1+", 1},
        {"", 0},          {"-", 0},
        {"(-)", 0},       {"4*", 0},
    };
    ExpectTable(rows, std::size(rows), 1e-12L);
}

TEST(Calculator, MalformedTextGivesZeroOrStopsEarly)
{
    static const TCase rows[] = {
        {"(1+2", 0},   {"1+2)", 0},     {")1(", 0},  {"2)(", 2},  {"ABS()", 0}, {"2X", 0},   {"3+2X", 3},   {"PI2", 0},
        {"FOO(1)", 0}, {"5+FOO(1)", 5}, {"2(3)", 0}, {"+(4)", 4}, {"1+2*@", 1}, {"1 2", 12}, {"SQRT 4", 0},
    };
    ExpectTable(rows, std::size(rows), 0);
}

TEST(Calculator, NumbersAndConstants)
{
    static const TCase rows[] = {
        {"1E3", 1000}, {"2.5E-1", 0.25}, {".5", 0.5}, {"5.", 5},        {"-.5", -0.5},  {"5.E2", 500},   {"1e+2", 100},
        {"0.1", 0.1L}, {"PI", Pi},       {"E", E},    {"pi*2", 2 * Pi}, {"E^2", E * E}, {"1.2.3", 1.2L},
    };
    ExpectTable(rows, std::size(rows), 1e-12L);
}

// Whole numbers are read without strtold: the values must be exactly its.
TEST(Calculator, WholeNumbersReadExactlyAsStrtold)
{
    for (const char* text : {"0", "-0", "+7", "007", "-42", "999999999999999999", "-123456789012345678",
                             "1234567890123456789", "18446744073709551616", "99999999999999999999"}) {
        const long double got = CalculateExpression(text);
        const long double want = std::strtold(text, nullptr);
        EXPECT_EQ(got, want) << text;
        EXPECT_EQ(std::signbit(got), std::signbit(want)) << text;
    }
}

TEST(Calculator, Functions)
{
    static const TCase rows[] = {
        {"INT(2.5)", 2},         {"INT(2.7)", 3},       {"INT(3.5)", 4},       {"ROUND(-2.5)", -2},
        {"TRUNC(-2.7)", -2},     {"FRAC(-2.7)", -0.7L}, {"SIGN(0)", 1},        {"SIGN(-0.1)", -1},
        {"SAT(1.5)", 1},         {"SAT(-1)", 0},        {"SAT(0.25)", 0.25},   {"CROP(-3)", 0},
        {"CROP(3)", 3},          {"INV(4)", -4},        {"LN(-1)", -1},        {"LN(E)", 1},
        {"LOG(1000)", 3},        {"LOG(0)", 0},         {"SQRT(-4)", -4},      {"SQRT(16)", 4},
        {"SQR(3)", 9},           {"ABS(-2)", 2},        {"EXP(1)", E},         {"NOT(5)", -6},
        {"NOT(-1)", 0},          {"COS(0)", 1},         {"SIN(0)", 0},         {"sin(0)", 0},
        {"TAN(0)", 0},           {"ARCTAN(1)", Pi / 4}, {"ARCSIN(1)", Pi / 2}, {"ARCCOS(1)", 0},
        {"ARCSIN(0.5)", Pi / 6}, {"ARCCOS(0)", Pi / 2}, {"ABS(SIN(PI))", 0},   {"SQRT(SQR(3)+SQR(4))", 5},
        {"2*ABS(-3)+1", 7},
    };
    // ARCTAN, ARCSIN and ARCCOS go through single precision.
    ExpectTable(rows, std::size(rows), 1e-6L);
}

TEST(Calculator, LayoutExpressions)
{
    static const TCase rows[] = {
        {"(1024-300)/2", 362},
        {"768 - 40 - 2*16", 696},
        {"int(1024/3)", 341},
        {"sat(0.5)*200+10", 110},
    };
    ExpectTable(rows, std::size(rows), 0);
}

TEST(Calculator, InvalidOperationsFollowFloatingPoint)
{
    EXPECT_TRUE(std::isinf(CalculateExpression("1/0")));
    EXPECT_GT(CalculateExpression("1/0"), 0);
    EXPECT_TRUE(std::isnan(CalculateExpression("0/0")));
    // Integer functions saturate outside the 64-bit range.
    EXPECT_EQ(CalculateExpression("TRUNC(1E30)"), 9223372036854775807.0L);
    EXPECT_EQ(CalculateExpression("INT(-1E30)"), -9223372036854775808.0L);
    EXPECT_EQ(CalculateExpression("TRUNC(0/0)"), 0);
}

TEST(Calculator, DeepNestingIsCutOffSafely)
{
    std::string deep(100000, '(');
    deep += "1";
    deep += std::string(100000, ')');
    EXPECT_EQ(CalculateExpression(deep), 0);
    std::string calls;
    for (int i = 0; i < 50000; ++i) {
        calls += "ABS(";
    }
    calls += "1" + std::string(50000, ')');
    EXPECT_EQ(CalculateExpression(calls), 0);
    std::string fine = std::string(100, '(') + "2" + std::string(100, ')');
    EXPECT_EQ(CalculateExpression(fine), 2);
    // Bytes above 127 and embedded nul characters are just unreadable text.
    EXPECT_EQ(CalculateExpression(std::string("3+\xE9", 3)), 3);
    EXPECT_EQ(CalculateExpression(std::string("1\0+1", 4)), 2);
}

TEST(Calculator, ObjectKeepsItsPosition)
{
    TCalculator c;
    EXPECT_EQ(c.Calculate("1+2X"), 1);
    EXPECT_EQ(c.CharPos, 3) << "stopped at the 2 that is not a number";
    long double value = 9;
    c.Expr = std::string("2X", 2) + '\0';
    c.CharPos = 1;
    EXPECT_FALSE(c.ReadNumber(value));
    EXPECT_EQ(value, 0);
    EXPECT_EQ(c.CharPos, 1);
    int32_t function = -1;
    c.Expr = std::string("SQRT(4)") + '\0';
    c.CharPos = 1;
    ASSERT_TRUE(c.ReadFunctionName(function));
    EXPECT_EQ(function, 8) << "SQRT before SQR";
    EXPECT_EQ(c.CharPos, 5);
}
