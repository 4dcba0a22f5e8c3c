// zorDns: finding the mail exchanger of a recipient's domain with a small DNS
// client over UDP: the system's name servers (the "nameserver" lines of
// resolv.conf, IPv4), MX queries for the domain and its base domain, and a
// walk down from root servers when the system names no server.
//
// Every read of a reply is bounded by the reply's length, and compressed
// names follow at most 32 pointers, so a damaged or hostile reply ends the
// look-up instead of hanging or reading outside the reply. Only replies that
// carry the query's id and the response bit count.
//
// Normal context: the delivery thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "crashreport/diagnostics/zorTypes.h"

constexpr uint16_t DnsTypeMx = 15;
constexpr uint16_t DnsTypeNs = 2;

// The IPv4 name servers of a resolv.conf text, in order.
TDAAnsiString DnsServersOfResolvConf(const std::string& text);
// The system's name servers; tests replace the source.
void ListDnsServers(TDAAnsiString& servers);
std::function<TDAAnsiString()>& DnsServerSource();
// The two root servers of the walk (addresses, so that no look-up is needed).
TDAAnsiString& DnsRootServers();

// The query datagram: id 1, recursion desired, one question.
std::string DnsQueryBytes(const std::string& name, uint16_t type);
// One name from the offset; the offset moves past it (past the first
// pointer when it is compressed). Reading stops at the end offset, and
// pointers must stay inside the reply.
std::string ReadDnsName(const std::string& reply, size_t& offset, size_t end);
// The names in the data of up to count records of the query's type.
void ReadDnsRecordNames(const std::string& reply, int32_t count, size_t& offset, uint16_t type, TDAAnsiString& names);
// Asks every server at once and reads replies until one gives names.
void QueryDns(const std::string& name, const TDAAnsiString& servers, uint16_t type, TDAAnsiString& answers,
              TDAAnsiString* authorities);
// The host name of the address's mail exchanger; empty when none was found.
std::string FindMailExchanger(const std::string& address);
