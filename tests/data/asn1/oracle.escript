#!/usr/bin/env escript
%% Encodes the values that asn1_oracle_values prints with the Erlang asn1
%% codec compiled into DIR: for each line of input one line of lower-case
%% hex, or "error" when the codec refuses the value.
%% Usage: oracle.escript DIR < values

main([Dir]) ->
    true = code:add_patha(Dir),
    loop().

loop() ->
    case io:get_line("") of
        eof -> ok;
        Line ->
            io:put_chars([encode(string:trim(Line, trailing, "\n")), $\n]),
            loop()
    end.

encode(Line) ->
    [_Name, Module, Type, _Ber, _Text, Term] = string:split(Line, "\t", all),
    {ok, Tokens, _} = erl_scan:string("{" ++ Module ++ "," ++ Type ++ "," ++ Term ++ "}."),
    {ok, {M, T, Value}} = erl_parse:parse_term(Tokens),
    case catch M:encode(T, Value) of
        {ok, Octets} -> [io_lib:format("~2.16.0b", [B]) || <<B>> <= Octets];
        _ -> "error"
    end.
