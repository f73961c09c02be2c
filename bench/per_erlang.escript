#!/usr/bin/env escript
%% Times Erlang's aligned PER codec, compiled into DIR by tools/erlang_oracle,
%% on the messages that "bench_per --messages" prints (NAME MODULE HEX per
%% line): for each, one line "NAME ENCODE-NS DECODE-NS" with the time of one
%% encode and of one decode. It stops when Erlang encodes a message to other
%% octets than this project's codec.
%% Usage: per_erlang.escript DIR < messages
%%
%% Compiled, not interpreted: an interpreted script adds about a microsecond
%% of its own to every timed call.
-mode(compile).

main([Dir]) ->
    true = code:add_patha(Dir),
    loop().

loop() ->
    case io:get_line("") of
        eof -> ok;
        Line ->
            [Name, Module, Hex] = string:lexemes(string:trim(Line), " "),
            Octets = binary:decode_hex(list_to_binary(Hex)),
            M = list_to_atom(Module),
            {ok, Value} = M:decode('Message', Octets),
            {ok, Octets} = M:encode('Message', Value),
            Encode = nanoseconds(fun() -> M:encode('Message', Value) end),
            Decode = nanoseconds(fun() -> M:decode('Message', Octets) end),
            io:format("~s ~.1f ~.1f~n", [Name, Encode, Decode]),
            loop()
    end.

%% The best of five runs of enough calls to take 200 ms or more.
nanoseconds(F) ->
    N = calls(F, 1),
    lists:min([run(F, N) / N || _ <- lists:seq(1, 5)]).

calls(F, N) ->
    case run(F, N) >= 200000000 of
        true -> N;
        false -> calls(F, N * 2)
    end.

run(F, N) ->
    Start = erlang:monotonic_time(nanosecond),
    repeat(F, N),
    erlang:monotonic_time(nanosecond) - Start.

repeat(_, 0) -> ok;
repeat(F, N) -> F(), repeat(F, N - 1).
